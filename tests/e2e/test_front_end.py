"""The command line, standard output and the fatal report, end to end."""
import unittest

from harness import REPORT_HINT, UNWRAP, WineTestCase, quote_argument, utf16_units, windows_path, EXE


class FrontEnd(WineTestCase):
    def setUp(self):
        self.wine.put_hdrop(bytes.fromhex("14000000" + "00" * 12 + "01000000") + "Z:\\kept".encode("utf-16-le") + bytes(4))
        self.before = self.wine.hdrop()

    def test_runs_without_a_clipboard_action_print_nothing_and_change_nothing(self):
        for arguments in [(), ("--set_folder_icon", "a;;;b"), ("--hide_extension", "x"), ("--copy_files",),
                          ("unknown", "--READ_FILES", "--read_files=1", "")]:
            with self.subTest(arguments=arguments):
                done = self.wine.run(*arguments)
                self.assertEqual((done.status, done.stdout, done.stderr), (0, b"", b""))
                self.assertEqual(self.wine.hdrop(), self.before)

    def test_an_unpaired_surrogate_in_any_argument_is_fatal_before_anything_runs(self):
        exe = quote_argument(windows_path(EXE))
        cases = [
            (exe + " --copy_files Z:\\new ignored\ud800x", b'"ignored\\u{d800}x"'),
            # Argument 0 cut at its first blank, a lone low surrogate inside it.
            ("\udc00" + exe + " --copy_files Z:\\new", None),
        ]
        for line, quoted in cases:
            with self.subTest(line=line):
                done = self.wine.run_line(utf16_units(line))
                self.assertEqual(done.status, 101)
                if quoted is None:
                    # The exe's own path follows the surrogate, escaped.
                    quoted = b'"\\u{dc00}' + windows_path(EXE).replace("\\", "\\\\").encode() + b'"'
                self.assertEqual(done.stderr, self.report(UNWRAP + quoted, b"library\\std\\src\\env:772:51")
                                 + REPORT_HINT)
                self.assertEqual(done.stdout, b"")
                self.assertEqual(self.wine.hdrop(), self.before)

    def test_a_blank_before_the_program_name_makes_it_an_ignored_argument(self):
        done = self.wine.run_line(utf16_units(" " + quote_argument(windows_path(EXE)) + " --read_files"))
        self.assertEqual((done.status, done.stdout, done.stderr), (0, b"Z:\\kept\n", b""))

    def test_missing_standard_output_loses_the_lines_but_not_the_status(self):
        done = self.wine.run("--read_files", stdout="none")
        self.assertEqual((done.status, done.stderr), (0, b""))

    def test_a_pipe_whose_reader_has_gone_is_fatal_with_the_platform_text(self):
        done = self.wine.run("--read_files", stdout="closed-pipe")
        self.assertEqual(done.status, 101)
        text = self.wine.system_text(232)
        self.assertEqual(done.stderr,
                         self.report(f"failed printing to stdout: {text} (os error 232)".encode(),
                                     b"library\\std\\src\\io\\stdio:993:9") + REPORT_HINT)


if __name__ == "__main__":
    unittest.main()
