"""Member paths past MAX_PATH in the stub under Wine, which does not enforce
the limit itself: so the test copy of the stub that logs the path each file
call is given (e2e-sfx-paths.exe) shows that the long ones went to Windows
in the extended form, and only those."""
import os
import time

from combined import settings_block, zip_archive
from harness import PROGRAM_DIR, tree, wait_exit, windows_path
from test_dialogs import AUTO_START, CHOICES, OVERWRITE_DEFAULT, DialogTestCase
from zip_reading import deep_name

PATHS_STUB = os.path.join(PROGRAM_DIR, "e2e-sfx-paths.exe")
BAD_NAME = "적절하지 않은 파일 이름입니다."
EXTENDED = "\\\\?\\"
LONGEST_PLAIN, LONGEST_PLAIN_DIRECTORY = 259, 247


class LongPathsTest(DialogTestCase):
    session_name = "long-paths"

    def start_logged(self, members):
        """Starts the logging stub on `members`, extracting at once; the
        log's path."""
        block = settings_block(CHOICES | AUTO_START | OVERWRITE_DEFAULT, default_dir=windows_path(self.target))
        exe = os.path.join(self.case, "logged.exe")
        with open(PATHS_STUB, "rb") as f, open(exe, "wb") as out:
            out.write(f.read() + block + zip_archive(members))
        log = os.path.join(self.case, "paths.log")
        self.process = self.session.start(exe, cwd=self.case, env={"DOROMI_PATH_LOG": windows_path(log)})
        return log

    def logged(self, log):
        with open(log, encoding="utf-8") as f:
            return f.read().splitlines()

    def test_deep_members_come_out_through_the_extended_form(self):
        members = {deep_name(300): b"300", deep_name(1000): b"1000", "short.txt": b"short"}
        started = time.monotonic()
        log = self.start_logged(members)
        self.assertEqual(wait_exit(self.process, timeout=60), 0)
        print(f"members 300 and 1,000 characters deep extracted in {time.monotonic() - started:.1f} s",
              flush=True)
        self.assertEqual(tree(self.target), members)
        paths = self.logged(log)
        for path in paths:
            plain = path[len(EXTENDED):] if path.startswith(EXTENDED) else path
            if len(plain) > LONGEST_PLAIN:
                self.assertTrue(path.startswith(EXTENDED), path)
            if len(plain) <= LONGEST_PLAIN_DIRECTORY:
                self.assertEqual(path, plain)
        target = windows_path(self.target)
        for name in members:
            path = target + "\\" + name.replace("/", "\\")
            self.assertIn((EXTENDED if len(path) > LONGEST_PLAIN else "") + path, paths)
        # Again over the files: each replaced through a temporary file beside it.
        replaced = {name: data * 2 for name, data in members.items()}
        os.remove(log)
        log = self.start_logged(replaced)
        self.assertEqual(wait_exit(self.process, timeout=60), 0)
        self.assertEqual(tree(self.target), replaced)
        temporary = {path for path in self.logged(log) if "\\~dr" in path}
        self.assertEqual(sorted(path.startswith(EXTENDED) for path in temporary), [False, True, True], temporary)

    def test_a_dotdot_deep_in_a_long_name_is_refused(self):
        name = deep_name(400) + "/../../escaped.txt"
        log = self.start_logged({name: b"out", "inside.txt": b"in"})
        self.finish((BAD_NAME, name))
        self.assertEqual(tree(self.target), {"inside.txt": b"in"})
        self.assertEqual(sorted(os.listdir(self.case)), ["logged.exe", "paths.log", "target"])
        self.assertFalse([path for path in self.logged(log) if "escaped" in path or "ddd" in path])
