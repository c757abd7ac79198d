"""Archives of other formats through the real stub: a 7z and a tar.xz
turned into self-extracting files by `doromi build --from`, started under
Wine, 시작 pressed, and the tree checked: files, an empty folder, a
symbolic link as a file holding its target, and the files' times."""
import os
import random
import subprocess

from harness import StubTestCase, doromi_build, tree, wait_exit, windows_path, write_tree

TITLE = "다른 형식"
FINISHED = "Finished."
FILES = {
    "문서/안내.txt": "도로미 안내\r\n".encode("utf-8") * 3000,
    "bin/random.bin": random.Random(7).randbytes(300_000),
    "bin/zeros.dat": bytes(2_000_000),
    "empty.txt": b"",
}


class OtherFormatsTest(StubTestCase):
    session_name = "other_formats"

    def setUp(self):
        super().setUp()
        self.make_case_folder()
        self.source = os.path.join(self.case, "source")
        write_tree(self.source, FILES, first_stamp=1_300_000_000)
        os.makedirs(os.path.join(self.source, "빈 폴더"))
        os.symlink("문서/안내.txt", os.path.join(self.source, "바로가기"))

    def test_7z_and_tar_xz_extract_through_the_dialog(self):
        for archive, command in [("x.7z", ["7z", "a", "-t7z", "-snl", "-mx=9"]), ("x.tar.xz", ["tar", "cJf"])]:
            with self.subTest(archive=archive):
                path = os.path.join(self.case, archive)
                subprocess.run([*command, path, *sorted(os.listdir(self.source))], cwd=self.source, check=True,
                               capture_output=True)
                target = os.path.join(self.target, archive)
                exe = os.path.join(self.case, archive + ".exe")
                doromi_build("-o", exe, "--title", TITLE, "--default-dir", windows_path(target), "--from", path,
                             capture_output=True)
                process = self.session.start(exe, cwd=self.case)
                self.session.press(self.session.wait_for_window(TITLE)["hwnd"], 1)  # 시작
                self.session.press(self.session.wait_for_window(FINISHED, timeout=60)["hwnd"], 1)
                self.assertEqual(wait_exit(process), 0)
                expected = dict(FILES, **{"바로가기": "문서/안내.txt".encode(), "빈 폴더/": None, "문서/": None,
                                          "bin/": None})
                self.assertEqual(tree(target, directories=True), expected)
                for name in FILES:
                    self.assertEqual(os.stat(os.path.join(target, name)).st_mtime,
                                     os.stat(os.path.join(self.source, name)).st_mtime, name)
