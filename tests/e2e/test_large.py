"""A combined file of about 3 GiB under Wine: the stub lists a member that
crosses 2 GiB and one beyond it, and extracts only the one beyond, into a
target on a tmpfs."""
import os
import shutil
import subprocess
import tempfile
import time

from harness import StubTestCase, child, doromi_build, message_box_text, wait_exit, windows_path
from fixed_values import IDC_MEMBER_LIST, IDC_START, IDOK  # noqa: E402 (harness puts tests/ on the path)

GIB = 1 << 30
SPAN = 3 * GIB - (64 << 20)  # starts after the stub, crosses 2 GiB
LAST = bytes((i * 7 + i // 251) % 256 for i in range(1 << 20))  # lies wholly beyond 2 GiB
NEEDED = 4 * GIB  # the combined file, with room to spare
MAIN_TITLE = "도로미 자동풀림 압축파일 "
FINISHED = "Finished."
ALL_EXTRACTED = "모든 파일을 압축을 풀었습니다."
MEMBERS, START, OK = IDC_MEMBER_LIST, IDC_START, IDOK


def free_bytes(path):
    """The space left on the disk of `path`, as df reports it."""
    out = subprocess.run(["df", "--output=avail", "-B1", path], capture_output=True, text=True, check=True).stdout
    return int(out.split()[-1])


class LargeFileTest(StubTestCase):
    session_name = "large"

    def test_only_the_member_beyond_2_gib_is_extracted(self):
        free = free_bytes(self.work)
        if free < NEEDED:
            self.skipTest(f"{free} bytes free on the disk of {self.work}, {NEEDED} needed")
        if not os.path.isdir("/dev/shm"):
            self.skipTest("no tmpfs at /dev/shm for the target")
        target = tempfile.mkdtemp(prefix="doromi-large-", dir="/dev/shm")
        self.addCleanup(shutil.rmtree, target)
        source = os.path.join(self.work, "source")
        os.makedirs(source)
        with open(os.path.join(source, "a-span.bin"), "wb") as f:
            f.truncate(SPAN)
        with open(os.path.join(source, "b-last.bin"), "wb") as f:
            f.write(LAST)
        exe = os.path.join(self.work, "large.exe")
        doromi_build("--store", "-q", "-o", exe, "--default-dir", windows_path(target), source + "/",
                     capture_output=True)
        self.addCleanup(os.remove, exe)

        started = time.monotonic()
        process = self.session.start(exe, cwd=self.work)
        dialog = self.session.wait_for_window(MAIN_TITLE, timeout=120)
        listed = time.monotonic()
        self.assertEqual(child(dialog, MEMBERS)["items"], ["a-span.bin", "b-last.bin"])
        self.session.driver("select", dialog["hwnd"], MEMBERS, -1, 0)
        self.session.driver("select", dialog["hwnd"], MEMBERS, 1, 1)
        pressed = time.monotonic()
        self.session.press(dialog["hwnd"], START)
        box = self.session.wait_for_window(FINISHED, timeout=120)
        finished = time.monotonic()
        self.assertEqual(message_box_text(box), ALL_EXTRACTED)
        self.session.press(box["hwnd"], OK)
        self.assertEqual(wait_exit(process, timeout=60), 0)
        print(f"stub on {os.path.getsize(exe)} bytes: dialog with its list after {listed - started:.1f} s, "
              f"the member beyond 2 GiB extracted {finished - pressed:.1f} s after the start button",
              flush=True)
        self.assertEqual(os.listdir(target), ["b-last.bin"])
        with open(os.path.join(target, "b-last.bin"), "rb") as f:
            self.assertEqual(f.read(), LAST)
