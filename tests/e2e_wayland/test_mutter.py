"""On headless mutter (GNOME), which offers no data-control: vantle-native,
run with both WAYLAND_DISPLAY and DISPLAY as GNOME's apps have them, takes
the X11 path, and xclip on mutter's XWayland reads its copy and serves it a
list."""
import unittest

from wayland_harness import DONE, LINES, LIST, PATHS, environment, run, xclip_in, xclip_out

ENV = environment("mutter")


class OnMutter(unittest.TestCase):
    def test_the_x11_path_is_taken_both_ways(self):
        self.assertEqual(run("--copy_files", ";;;".join(PATHS), env=ENV), DONE)
        self.assertEqual(xclip_out("text/uri-list", ENV), LIST)
        xclip_in("x-special/gnome-copied-files", b"cut\n" + LIST, ENV)
        self.assertEqual(run("--read_files_with_effect", env=ENV), (0, b"move\n" + LINES, b""))


if __name__ == "__main__":
    unittest.main()
