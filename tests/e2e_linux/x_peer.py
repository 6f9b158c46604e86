#!/usr/bin/python3
"""A raw X11 client that takes the CLIPBOARD selection, as another program on
the desktop would (Debian's python3-xlib, hence /usr/bin/python3):

  x_peer.py serve TARGET=HEX ...   answers TARGETS and each TARGET with its bytes
  x_peer.py mute                   owns the selection and answers nothing
  x_peer.py told TARGET=HEX ...    prints "asked TARGET" for each request and holds
                                   it until a line comes on standard input:
                                   "answer" answers it as serve does, anything
                                   else refuses it; then prints "answered"
  x_peer.py stall TARGET           offers TARGET, then starts an incremental
                                   transfer of it and sends no chunk
  x_peer.py endless TARGET         offers TARGET, then sends an incremental
                                   transfer of it that never ends

Prints "owned" once it owns the selection; ends when another program takes it
(after the request it holds, if told).

  x_peer.py read TARGET            prints the owner's TARGET as JSON: its type,
                                   its format, its items, and the server's
                                   time when the answer came
  x_peer.py read-multiple TARGET ...
                                   asks for the TARGETs in one MULTIPLE request;
                                   prints, for each, its bytes as hex, "INCR" for
                                   an incremental transfer's start, or null
  x_peer.py read-incr TARGET       reads TARGET's incremental transfer: prints
                                   "paused" after its first chunk, goes on once
                                   a line comes on standard input, prints the
                                   whole data
  x_peer.py owner                  prints the id of the selection's owner (0: none)
"""
import json
import sys

from Xlib import X, Xatom, display
from Xlib.protocol import event

screen = display.Display()
window = screen.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, event_mask=X.PropertyChangeMask)
clipboard = screen.intern_atom("CLIPBOARD")
mode, arguments = sys.argv[1], sys.argv[2:]


def new_value():
    """The next value written into the clipboard property of the window, and its time; a refusal ends the peer."""
    while (change := screen.next_event()).type != X.PropertyNotify or change.state != X.PropertyNewValue:
        if change.type == X.SelectionNotify and change.property == X.NONE:
            sys.exit("refused")
    return window.get_full_property(clipboard, X.AnyPropertyType), change.time


if mode == "owner":
    print(getattr(owner := screen.get_selection_owner(clipboard), "id", owner))
    sys.exit()
if mode == "read-multiple":
    # A MULTIPLE within it names the pairs' own property, as a careless requestor might.
    into = [clipboard if target == "MULTIPLE" else screen.intern_atom(f"_PEER_{i}") for i, target in enumerate(arguments)]
    pairs = [atom for target, property in zip(arguments, into) for atom in (screen.intern_atom(target), property)]
    window.change_property(clipboard, screen.intern_atom("ATOM_PAIR"), 32, pairs)
    window.convert_selection(clipboard, screen.intern_atom("MULTIPLE"), clipboard, X.CurrentTime)
    while (notify := screen.next_event()).type != X.SelectionNotify:
        pass
    answered = [X.NONE] * 2 * len(into) if notify.property == X.NONE else \
        window.get_full_property(clipboard, X.AnyPropertyType).value
    given = [window.get_full_property(p, X.AnyPropertyType) for p in into]
    print(json.dumps([None if answered[2 * i] == X.NONE else "INCR" if g.property_type == screen.intern_atom("INCR")
                      else bytes(g.value).hex() for i, g in enumerate(given)]))
    sys.exit()
if mode in ("read", "read-incr"):
    window.convert_selection(clipboard, screen.intern_atom(arguments[0]), clipboard, X.CurrentTime)
    answer, time_of_answer = new_value()
    if mode == "read":
        print(json.dumps([screen.get_atom_name(answer.property_type), answer.format, list(answer.value),
                          time_of_answer]))
        sys.exit()
    assert answer.property_type == screen.intern_atom("INCR"), answer
    data = b""
    while True:
        window.delete_property(clipboard)
        chunk = new_value()[0].value
        if not data:
            print("paused", flush=True)
            sys.stdin.readline()
        data += chunk
        if not chunk:
            window.delete_property(clipboard)
            screen.sync()
            break
    sys.stdout.buffer.write(data)
    sys.exit()
offered = {screen.intern_atom(name): bytes.fromhex(data)
           for name, data in (argument.split("=", 1) if "=" in argument else (argument, "") for argument in arguments)}
window.set_selection_owner(clipboard, X.CurrentTime)
screen.sync()
print("owned", flush=True)
while True:
    request = screen.next_event()
    if request.type == X.SelectionClear:
        break
    if request.type == X.PropertyNotify and request.state == X.PropertyDelete and mode == "endless":
        request.window.change_property(request.atom, Xatom.STRING, 8, b"file:///tmp/more\r\n" * 10000)
        screen.flush()
    if request.type != X.SelectionRequest or mode == "mute":
        continue
    if mode == "told":
        print("asked", screen.get_atom_name(request.target), flush=True)
    property = X.NONE  # a refusal, unless an answer below names the property
    if mode == "told" and sys.stdin.readline() != "answer\n":
        pass  # told "refuse": the refusal stands
    elif request.target == screen.intern_atom("TARGETS"):
        request.requestor.change_property(request.property, Xatom.ATOM, 32, list(offered))
        property = request.property
    elif request.target in offered and mode in ("stall", "endless"):
        request.requestor.change_attributes(event_mask=X.PropertyChangeMask)
        request.requestor.change_property(request.property, screen.intern_atom("INCR"), 32, [1 << 20])
        property = request.property
    elif request.target in offered:
        request.requestor.change_property(request.property, request.target, 8, offered[request.target])
        property = request.property
    request.requestor.send_event(event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection, target=request.target,
        property=property))
    screen.sync()
    if mode == "told":
        print("answered", flush=True)
