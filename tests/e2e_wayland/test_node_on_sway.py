"""The Node.js package on a Wayland session (headless sway, WAYLAND_DISPLAY
set and DISPLAY unset): the X11 suite's cases, with wl-copy for the other
programs."""
import unittest

from wayland_harness import environment
import test_node_package  # noqa: I100 (found through the harness)


class NodePackageOnSway(test_node_package.NodePackageOnX11):
    environment = staticmethod(lambda: environment("sway"))
    # An X11 case: its reader is an X client that pauses an incremental transfer.
    test_a_paste_under_way_when_the_app_closes_its_session_gets_the_whole_list = None


if __name__ == "__main__":
    unittest.main()
