#!/usr/bin/python3
"""A raw X11 client that takes the CLIPBOARD selection, as another program on
the desktop would (Debian's python3-xlib, hence /usr/bin/python3):

  x_peer.py serve TARGET=HEX ...   answers TARGETS and each TARGET with its bytes
  x_peer.py mute                   owns the selection and answers nothing
  x_peer.py stall TARGET           offers TARGET, then starts an incremental
                                   transfer of it and sends no chunk

Prints "owned" once it owns the selection; ends when another program takes it.
"""
import sys

from Xlib import X, Xatom, display
from Xlib.protocol import event

screen = display.Display()
window = screen.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
clipboard = screen.intern_atom("CLIPBOARD")
mode, arguments = sys.argv[1], sys.argv[2:]
offered = {screen.intern_atom(name): bytes.fromhex(data)
           for name, data in (argument.split("=", 1) if "=" in argument else (argument, "") for argument in arguments)}
window.set_selection_owner(clipboard, X.CurrentTime)
screen.sync()
print("owned", flush=True)
while True:
    request = screen.next_event()
    if request.type == X.SelectionClear:
        break
    if request.type != X.SelectionRequest or mode == "mute":
        continue
    property = X.NONE
    if request.target == screen.intern_atom("TARGETS"):
        request.requestor.change_property(request.property, Xatom.ATOM, 32, list(offered))
        property = request.property
    elif request.target in offered and mode == "stall":
        request.requestor.change_property(request.property, screen.intern_atom("INCR"), 32, [1 << 20])
        property = request.property
    elif request.target in offered:
        request.requestor.change_property(request.property, request.target, 8, offered[request.target])
        property = request.property
    request.requestor.send_event(event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection, target=request.target,
        property=property))
    screen.flush()
