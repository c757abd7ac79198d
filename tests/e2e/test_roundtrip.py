"""Round trips through the real stub: files packed by `doromi build`, and
archives made by Info-ZIP zip, 7z and Python's zipfile appended with
`doromi build --zip`, extract under Wine to byte-identical trees with the
files' times."""
import os
import random
import subprocess
import zipfile
import zlib

from harness import StubTestCase, doromi_build, message_box_text, wait_exit, windows_path, write_tree
from fixed_values import IDC_PASSWORD  # noqa: E402 (harness puts tests/ on the path)

PASSWORD_TITLE = "암호를 입력하세요"
PASSWORD = "도로미 비밀"


def mixed_files(korean_names):
    """Text, binary and already-compressed files in subfolders, a few MB."""
    rng = random.Random(1951)
    words = ["deflate", "window", "member", "압축", "파일", "도로미", "header", "stream"]
    text = " ".join(rng.choice(words) for _ in range(300_000)).encode("utf-8")
    binary = bytes(rng.getrandbits(8) for _ in range(400_000))
    files = {
        "notes/long.txt": text,
        "notes/short.txt": b"short\r\n",
        "bin/random.bin": binary,
        "bin/packed.z": zlib.compress(binary, 9),
        "bin/zeros.dat": bytes(1_500_000),
        "empty.txt": b"",
    }
    if korean_names:
        files["문서/한글 이름.txt"] = "한글 내용\n".encode("utf-8") * 1000
    return files


class RoundTripTest(StubTestCase):
    session_name = "roundtrip"

    def setUp(self):
        super().setUp()
        self.make_case_folder()
        self.source = os.path.join(self.case, "source")
        self.exe = os.path.join(self.case, "combined.exe")

    def build(self, *options):
        doromi_build("-o", self.exe, "--auto-start", "--default-dir", windows_path(self.target),
                     *options, capture_output=True)

    def run_stub(self, password=None):
        process = self.session.start(self.exe, cwd=self.work)
        if password:
            prompt = self.session.wait_for_window(PASSWORD_TITLE)
            self.session.set_text(prompt["hwnd"], IDC_PASSWORD, password)
            self.session.press(prompt["hwnd"], 1)
        self.assertEqual(wait_exit(process, timeout=120), 0)

    def assert_same_tree(self, files, extracted_root):
        for name, data in files.items():
            path = os.path.join(extracted_root, name)
            with open(path, "rb") as f:
                self.assertTrue(f.read() == data, f"{name} differs")
            self.assertEqual(os.stat(path).st_mtime, os.stat(os.path.join(self.source, name)).st_mtime, name)

    # An AES member's key comes from the password's UTF-8 form, which the
    # stub tries after the code page 949 bytes its box gives.
    def test_doromi_build_stored_deflated_and_encrypted(self):
        files = mixed_files(korean_names=True)
        write_tree(self.source, files, first_stamp=1_200_000_000)
        for options, password in ((["--store"], None), ([], None),
                                  (["--password", PASSWORD, "--encryption", "zipcrypto"], PASSWORD),
                                  (["--password", PASSWORD], PASSWORD)):
            with self.subTest(options=options):
                self.build(*options, self.source + "/")
                self.run_stub(password)
                self.assert_same_tree(files, self.target)
                subprocess.run(["rm", "-rf", self.target], check=True)
                os.makedirs(self.target)

    def test_archives_of_other_tools(self):
        files = mixed_files(korean_names=False)
        write_tree(self.source, files, first_stamp=1_200_000_000)
        archive = os.path.join(os.path.dirname(self.source), "external.zip")

        def python_zipfile():
            with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
                for dirpath, _, filenames in os.walk(self.source):
                    for name in filenames:
                        path = os.path.join(dirpath, name)
                        z.write(path, os.path.relpath(path, self.source))

        def tool(*command):
            return lambda: subprocess.run([*command, archive, "."], cwd=self.source, check=True, capture_output=True)

        cases = [("info_zip_level_9", tool("zip", "-q", "-r", "-9", "-X"), None),
                 ("7z_deflate", tool("7z", "a", "-tzip", "-mx=9"), None),
                 ("python_zipfile", python_zipfile, None)]
        cases += [(f"7z_aes {method} {level}", tool("7z", "a", "-tzip", method, level, "-paes pass"), "aes pass")
                  for method in ("-mem=AES256", "-mem=AES128") for level in ("-mx=0", "-mx=5")]
        for label, make_archive, password in cases:
            with self.subTest(label):
                subprocess.run(["rm", "-rf", self.target, archive], check=True)
                os.makedirs(self.target)
                make_archive()
                self.build("--zip", archive)
                self.run_stub(password)
                self.assert_same_tree(files, self.target)

    # A flipped bit in an AES member's data fails its authentication code,
    # which is checked before the existing file is touched.
    def test_aes_member_with_a_flipped_bit_leaves_the_existing_file(self):
        os.makedirs(self.source)
        with open(os.path.join(self.source, "secret.txt"), "wb") as f:
            f.write(b"new secret content\r\n" * 50)
        with open(os.path.join(self.target, "secret.txt"), "wb") as f:
            f.write(b"precious")
        self.build("--password", PASSWORD, "--store", "--overwrite", "overwrite", self.source + "/")
        with open(self.exe, "rb") as f:
            data = bytearray(f.read())
        data[data.index(b"PK\x01\x02") - 100] ^= 1  # inside the only member's encrypted data
        with open(self.exe, "wb") as f:
            f.write(data)
        process = self.session.start(self.exe, cwd=self.work)
        prompt = self.session.wait_for_window(PASSWORD_TITLE)
        self.session.set_text(prompt["hwnd"], IDC_PASSWORD, PASSWORD)
        self.session.press(prompt["hwnd"], 1)
        box = self.session.wait_for_window("오류")
        self.assertEqual(message_box_text(box), "선택된 파일은 압축을 풀 수 없습니다.")
        self.session.press(box["hwnd"], 1)
        self.assertEqual(wait_exit(process), 0)
        with open(os.path.join(self.target, "secret.txt"), "rb") as f:
            self.assertEqual(f.read(), b"precious")

    # Where Windows has no CNG (here: Wine told not to load bcrypt.dll), an
    # AES member gets a box and stays selected; the others are extracted.
    def test_aes_member_without_the_systems_cryptography_gets_a_box(self):
        os.makedirs(self.source)
        for name in ("locked.txt", "plain.txt"):
            with open(os.path.join(self.source, name), "wb") as f:
                f.write(name.encode() * 10)
        archive = os.path.join(self.work, "mixed-encryption.zip")
        subprocess.run(["7z", "a", "-tzip", "-mem=AES256", "-pkey", archive, "locked.txt"], cwd=self.source,
                       check=True, capture_output=True)
        subprocess.run(["7z", "a", "-tzip", archive, "plain.txt"], cwd=self.source, check=True, capture_output=True)
        self.build("--zip", archive)
        process = self.session.start(self.exe, cwd=self.work, env={"WINEDLLOVERRIDES": "mscoree,mshtml,bcrypt="})
        for text in ("AES 암호를 풀 수 없는 시스템입니다.", "선택된 파일은 압축을 풀 수 없습니다."):
            box = self.session.wait_for_window("오류")
            self.assertEqual(message_box_text(box), text)
            self.session.press(box["hwnd"], 1)
            self.session.wait_gone(box["hwnd"])
        self.assertEqual(wait_exit(process), 0)
        self.assertEqual(sorted(os.listdir(self.target)), ["plain.txt"])
