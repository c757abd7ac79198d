"""What `doromi build` refuses before it writes anything: texts that do not
fit the settings block or code page 949, unusable passwords, names Windows
would not take, stubs, and contradictory options."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import STUB_SIZE, ToolTestCase, run  # noqa: E402


class SettingsTextTest(ToolTestCase):
    def test_texts_over_249_bytes_are_refused_with_the_sizes(self):
        tree = self.tree({"a.txt": b"a"})
        # 100 Hangul syllables are 200 bytes in code page 949 (300 in UTF-8).
        self.assertRefused([tree, "--title", "가" * 100, "--default-dir", "C:\\" + "d" * 27, "--run", "r" * 39],
                           "20 bytes too long", "title 200 + default directory 30 + run command 39 = 269")

    def test_texts_of_exactly_249_bytes_fit(self):
        tree = self.tree({"a.txt": b"a"})
        run("build", "-o", self.path("ok.exe"), tree, "--title", "가" * 100, "--run", "r" * 49)
        self.assertRefused([tree, "--title", "가" * 100, "--run", "r" * 50], "1 byte too long",
                           "= 250 bytes", "holds 249")

    def test_text_outside_code_page_949_is_refused_naming_the_character(self):
        tree = self.tree({"a.txt": b"a"})
        for option, what in (("--title", "the title"), ("--default-dir", "the default directory"),
                             ("--run", "the run command")):
            with self.subTest(option):
                self.assertRefused([tree, option, "설치 😀"], what, "character 4", "U+1F600")

    # The stub's box takes 79 UTF-16 units; a character above U+FFFF is two.
    def test_password_limits(self):
        tree = self.tree({"a.txt": b"a"})
        run("build", "-o", self.path("ok.exe"), tree, "--password", "가" * 77 + "😀")
        for password, *fragments in (("가" * 80, "too long", "80 characters", "1 more than the 79"),
                                     ("가" * 78 + "😀", "too long", "80 characters"),
                                     ("", "password is empty")):
            with self.subTest(password=password[:2]):
                self.assertRefused([tree, "--password", password], *fragments)


class InputAndOptionTest(ToolTestCase):
    # A member name takes at most 1,024 UTF-16 units, counted as Windows
    # counts them (a character above U+FFFF is two); no code page is blamed.
    def test_member_names_longer_than_1024_units_are_refused(self):
        folder = "/".join(["a" * 180] * 5)  # 904 units
        run("build", "-o", self.path("ok.exe"), self.tree({folder + "/" + "😀" * 59 + "b": b"a"}) + "/")
        result = self.assertRefused([self.tree({folder + "/" + "😀" * 60: b"a"}, name="long") + "/"],
                                    "1025 characters (UTF-16 units)", "1 more than the stub's 1024")
        self.assertNotIn("949", result.err)

    def test_file_names_windows_cannot_hold_are_refused(self):
        tree = self.tree({"a:b.txt": b"a"})
        self.assertRefused([tree], "a:b.txt", "Windows does not allow")

    def test_missing_input_and_empty_folder_are_refused(self):
        self.assertRefused([self.path("없음")], "cannot read", "없음")
        os.mkdir(self.path("empty"))
        self.assertRefused([self.path("empty") + "/"], "nothing to put in the archive")

    def test_wrong_stub_is_refused(self):
        tree = self.tree({"a.txt": b"a"})
        with open(self.path("stub.exe"), "wb") as f:
            f.write(b"MZ" + bytes(100))
        self.assertRefused([tree, "--stub", self.path("stub.exe")], "102 bytes", f"exactly {STUB_SIZE}")
        with open(self.path("stub.exe"), "wb") as f:
            f.write(b"MZ" + bytes(40000) + b"PK\x05\x06" + bytes(442))
        self.assertRefused([tree, "--stub", self.path("stub.exe")], "ZIP signature")

    def test_contradictory_options_are_refused(self):
        tree = self.tree({"a.txt": b"a"})
        cases = [
            ([tree, "--no-settings", "--auto-start"], "--no-settings", "--auto-start"),
            ([tree, "--store", "--level", "5"], "--store and --level"),
            ([tree, "--level", "0"], "from 1 to 12, not \"0\""),
            ([tree, "--level", "13"], "from 1 to 12, not \"13\""),
            ([tree, "--overwrite", "always"], "ask, overwrite or skip"),
            ([tree, "--temp-dir", "--default-dir", "x"], "twice"),
            ([tree, "--random-headers"], "only applies with a password"),
            (["--zip", tree, tree], "give no other paths"),
            ([tree, "--bogus"], "unknown option --bogus"),
        ]
        for args, *fragments in cases:
            with self.subTest(args=args[1:]):
                self.assertRefused(args, *fragments)


if __name__ == "__main__":
    unittest.main()
