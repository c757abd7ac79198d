"""Extraction by the real stub: a settings block that starts at once into
a directory it names, with stored and encrypted stored members made by
Info-ZIP zip; the files on disk and their times are checked."""
import io
import os
import struct
import subprocess
import zipfile

from combined import settings_block, write_combined
from fixed_values import IDC_PASSWORD
from harness import StubTestCase, child, message_box_text, wait_exit, windows_path

PASSWORD_TITLE = "암호를 입력하세요"
AUTO_START = 0x40
SHOW_CHOICES = 0x03
OVERWRITE_DEFAULT = 0x08
FILES = {
    "readme.txt": b"Doromi extracts this.\r\n" * 40,
    "docs/guide.txt": b"a guide in a subfolder\n",
    "docs/deep/data.bin": bytes((i * 37 + i // 5) % 256 for i in range(70000)),
}


def make_source_tree(root):
    for name, data in FILES.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        # An even second: DOS times have two-second steps.
        os.utime(path, (1_000_000_000, 1_000_000_000 + 2 * len(name)))


def zip_stored(source, archive, password=None):
    command = ["zip", "-q", "-r", "-0", "-X"]
    if password:
        # The stub hands the typed password over in code page 949.
        command += ["-P", password.encode("cp949")]
    subprocess.run(command + [archive, "."], cwd=source, check=True)
    with open(archive, "rb") as f:
        return f.read()


class AutomaticExtractionTest(StubTestCase):
    session_name = "extraction"

    def setUp(self):
        super().setUp()
        self.source = os.path.join(self.work, self.id().rsplit(".", 1)[-1], "source")
        self.target = os.path.join(os.path.dirname(self.source), "target")
        os.makedirs(self.source)
        make_source_tree(self.source)

    def combined(self, archive):
        block = settings_block(SHOW_CHOICES | AUTO_START, default_dir=windows_path(self.target))
        return write_combined(os.path.join(os.path.dirname(self.source), "auto.exe"), block=block,
                              archive=archive)

    def assert_tree_extracted(self):
        for name, data in FILES.items():
            path = os.path.join(self.target, name)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), data, name)
            self.assertEqual(os.stat(path).st_mtime, os.stat(os.path.join(self.source, name)).st_mtime,
                             name)

    def test_stored_members_extract_by_themselves(self):
        exe = self.combined(zip_stored(self.source, os.path.join(self.work, "stored.zip")))
        process = self.session.start(exe, cwd=self.work)
        self.assertEqual(wait_exit(process, timeout=60), 0)
        self.assert_tree_extracted()

    # Every file of a tree extracted before is replaced, through a hidden
    # temporary file: the replaced files must not end up hidden (which would
    # make a third pass refuse them), so the tree is extracted three times.
    def test_a_tree_extracted_again_is_replaced_each_time(self):
        archive = zip_stored(self.source, os.path.join(self.work, "again.zip"))
        block = settings_block(SHOW_CHOICES | AUTO_START | OVERWRITE_DEFAULT, default_dir=windows_path(self.target))
        exe = write_combined(os.path.join(os.path.dirname(self.source), "again.exe"), block=block, archive=archive)
        for run in range(3):
            if run:
                with open(os.path.join(self.target, "readme.txt"), "wb") as f:
                    f.write(b"stale")
            process = self.session.start(exe, cwd=self.work)
            self.assertEqual(wait_exit(process, timeout=60), 0)
            self.assert_tree_extracted()

    def test_encrypted_members_ask_for_the_password_once(self):
        archive = zip_stored(self.source, os.path.join(self.work, "locked.zip"), password="열려라 참깨")
        exe = self.combined(archive)
        process = self.session.start(exe, cwd=self.work)
        prompt = self.session.wait_for_window(PASSWORD_TITLE)
        self.session.screenshot("password-prompt")
        self.assertTrue(child(prompt, IDC_PASSWORD)["visible"])
        self.session.set_text(prompt["hwnd"], IDC_PASSWORD, "열려라 참깨")
        self.session.press(prompt["hwnd"], 1)
        self.assertEqual(wait_exit(process, timeout=60), 0)
        self.assert_tree_extracted()

    # A header that declares 10 bytes for a member of 5,000 (whose CRC is
    # that of all 5,000): the member fails, leaves no file, and the pass
    # goes on.
    def test_declared_size_bounds_what_a_member_writes(self):
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
            z.writestr("big.bin", b"B" * 5000)
            z.writestr("after.txt", b"after")
        archive = bytearray(buffer.getvalue())
        struct.pack_into("<I", archive, 22, 10)  # the first local header's uncompressed size
        process = self.session.start(self.combined(bytes(archive)), cwd=self.work)
        box = self.session.wait_for_window("오류")
        self.assertEqual(message_box_text(box), "선택된 파일은 압축을 풀 수 없습니다.")
        self.session.press(box["hwnd"], 1)
        self.assertEqual(wait_exit(process, timeout=60), 0)
        self.assertFalse(os.path.exists(os.path.join(self.target, "big.bin")))  # failed: no file left
        with open(os.path.join(self.target, "after.txt"), "rb") as f:
            self.assertEqual(f.read(), b"after")


class ManyMembersTest(StubTestCase):
    """The list box sorts the members; the extraction walks them in archive
    order and finds each one's own item by its place in the walk. Names in a shuffled
    order, with hyphens, spaces and letter case that the list box's locale
    order weighs in its own way, and pairs equal apart from letter case that
    follow one another (the second must meet the item after the first's):
    every item is reached, so the automatic start ends by itself."""
    session_name = "many-members"

    def test_shuffled_names_and_case_pairs_are_all_extracted(self):
        import random
        import zipfile
        rng = random.Random(3)
        unique = {}
        while len(unique) < 1200:
            stem = rng.choice(["Data", "data", "read-me", "Read me", "x_y", "X-Y", "z"]) + str(rng.randrange(400))
            name = f"{rng.choice(['a', 'B', 'c-d'])}/{stem}.{rng.choice(['txt', 'TXT', 'bin'])}"
            unique.setdefault(name.lower(), name)
        names = list(unique.values())
        rng.shuffle(names)
        for i in range(0, 600, 20):  # a case twin right after its original
            names.insert(i + 1, names[i].swapcase())
        case = os.path.join(self.work, "many")
        target = os.path.join(case, "target")
        os.makedirs(case)
        archive = os.path.join(case, "many.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
            for name in names:
                z.writestr(name, name.encode())
        with open(archive, "rb") as f:
            data = f.read()
        # Overwrite (0x08): a case pair names one file on Wine's Z: drive.
        block = settings_block(SHOW_CHOICES | AUTO_START | 0x08, default_dir=windows_path(target))
        exe = write_combined(os.path.join(case, "many.exe"), block=block, archive=data)
        process = self.session.start(exe, cwd=case)
        self.assertEqual(wait_exit(process, timeout=120), 0)
        extracted = set()
        for directory, _, files in os.walk(target):
            for f in files:
                extracted.add(os.path.relpath(os.path.join(directory, f), target).lower())
        self.assertEqual(extracted, {n.lower() for n in names})
