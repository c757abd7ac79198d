"""What the settings block does to the stub at start-up: the size check,
the window title and the starting target directory."""
import os
import struct
import subprocess
import time
import unittest

from combined import settings_block, write_combined, zip_archive
from fixed_values import IDC_ASK, IDC_CLOSE, IDC_EXTRACT_DIR, IDC_MEMBER_LIST, IDC_RUN_AFTER, IDC_SKIP
from harness import StubTestCase, child, doromi_build, message_box_text, wait_exit, windows_path

MAIN_TITLE = "도로미 자동풀림 압축파일 "
SIZE_MISMATCH = "파일 크기가 틀립니다, 다시 다운로드 하세요."
ERROR_CAPTION = "오류"
NO_SIZE_CHECK = 0x20
ARCHIVE = zip_archive({"readme.txt": b"hello\r\n" * 50, "docs/guide.txt": b"guide"})


class SettingsBlockTest(StubTestCase):
    session_name = "settings"

    def combined(self, name, **kwargs):
        return write_combined(os.path.join(self.work, name), **kwargs)

    def close_main_dialog(self, process, dialog):
        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(process), 0)

    def test_failed_size_check_shows_one_box_and_no_dialog(self):
        exe = self.combined("extended.exe", block=settings_block(0x03), archive=ARCHIVE,
                            trailer=b"!")
        process = self.session.start(exe, cwd=self.work)
        box = self.session.wait_for_window(ERROR_CAPTION)
        self.session.screenshot("size-check-failed")
        self.assertEqual(message_box_text(box), SIZE_MISMATCH)
        self.assertEqual(bytes.fromhex(child(box, 0xFFFF)["ansi"]), SIZE_MISMATCH.encode("cp949"))
        time.sleep(0.5)  # the main dialog would be up by now if the check let it through
        self.assertEqual([w["text"] for w in self.session.top_level_dialogs()], [ERROR_CAPTION])
        self.session.press(box["hwnd"], 1)
        self.assertEqual(wait_exit(process), 0)
        self.assertEqual(self.session.top_level_dialogs(), [])

    def test_whole_file_or_one_without_size_check_opens_the_main_dialog(self):
        for name, flags, trailer in (("whole.exe", 0x03, b""), ("unchecked.exe", 0x03 | NO_SIZE_CHECK, b"!")):
            with self.subTest(name):
                exe = self.combined(name, block=settings_block(flags), archive=ARCHIVE, trailer=trailer)
                process = self.session.start(exe, cwd=self.work)
                self.close_main_dialog(process, self.session.wait_for_window(MAIN_TITLE))

    def signed_file(self):
        """A file signed by `doromi build` with a certificate made here, whose
        archive needs alignment before the certificate table; its archive's
        end and the table's start."""
        cert, key = os.path.join(self.work, "cert.pem"), os.path.join(self.work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "30", "-subj", "/CN=Doromi E2E"], check=True, capture_output=True)
        source = os.path.join(self.work, "signed-source")
        os.makedirs(source, exist_ok=True)
        self.target = os.path.join(self.work, "signed-target")
        for extra in range(2):
            self.content = b"signed content\r\n" + b"+" * extra
            with open(os.path.join(source, "a.txt"), "wb") as f:
                f.write(self.content)
            unsigned, exe = os.path.join(self.work, "unsigned.exe"), os.path.join(self.work, "signed.exe")
            options = ["--store", "--auto-start", "--overwrite", "overwrite",
                       "--default-dir", windows_path(self.target), source + "/"]
            doromi_build("-o", unsigned, *options, capture_output=True)
            if os.path.getsize(unsigned) % 8:
                doromi_build("-o", exe, "--sign-cert", cert, "--sign-key", key, *options, capture_output=True)
                with open(exe, "rb") as f:
                    data = f.read()
                pe = struct.unpack_from("<I", data, 0x3C)[0]
                directories = pe + 24 + (112 if struct.unpack_from("<H", data, pe + 24)[0] == 0x20B else 96)
                return exe, data, os.path.getsize(unsigned), struct.unpack_from("<I", data, directories + 32)[0]
        raise AssertionError("no content gave an archive that needs alignment")

    # osslsigncode pads the file to 8 bytes and appends its certificate table.
    def test_signed_file_passes_the_size_check_and_only_it(self):
        exe, data, archive_end, table = self.signed_file()
        self.assertGreater(table, archive_end)
        process = self.session.start(exe, cwd=self.work)
        self.assertEqual(wait_exit(process, timeout=60), 0)
        with open(os.path.join(self.target, "a.txt"), "rb") as f:
            self.assertEqual(f.read(), self.content)
        for name, damaged in (("appended.exe", data + b"!"),
                              ("padding.exe", data[:archive_end] + b"\x01" + data[archive_end + 1:])):
            with self.subTest(name):
                with open(os.path.join(self.work, name), "wb") as f:
                    f.write(damaged)
                process = self.session.start(os.path.join(self.work, name), cwd=self.work)
                box = self.session.wait_for_window(ERROR_CAPTION)
                self.assertEqual(message_box_text(box), SIZE_MISMATCH)
                self.session.press(box["hwnd"], 1)
                self.assertEqual(wait_exit(process), 0)

    def test_title_and_default_directory_come_from_the_block(self):
        title = "설치 프로그램 Setup"
        exe = self.combined("titled.exe", archive=ARCHIVE,
                            block=settings_block(0x13 | NO_SIZE_CHECK, title=title,
                                                 default_dir="C:\\설치\\out"))
        process = self.session.start(exe, cwd=self.work)
        dialog = self.session.wait_for_window(title)
        self.session.screenshot("title-and-directory")
        self.assertEqual(bytes.fromhex(dialog["ansi"]), title.encode("cp949"))
        self.assertEqual(child(dialog, IDC_EXTRACT_DIR)["text"], "C:\\설치\\out")
        self.assertEqual(child(dialog, IDC_SKIP)["checked"], 1)  # bits 3-4 = 2: Skip
        self.assertEqual(child(dialog, IDC_ASK)["checked"], 0)
        self.close_main_dialog(process, dialog)

    def test_no_block_starts_in_the_current_directory_with_ask(self):
        exe = self.combined("plain.exe", archive=ARCHIVE)
        process = self.session.start(exe, cwd=self.work)
        dialog = self.session.wait_for_window(MAIN_TITLE)
        self.assertEqual(child(dialog, IDC_MEMBER_LIST)["items"], ["docs/guide.txt", "readme.txt"])
        self.assertEqual(child(dialog, IDC_MEMBER_LIST)["selected"], [0, 1])
        self.assertEqual(child(dialog, IDC_EXTRACT_DIR)["text"], windows_path(self.work))
        self.assertEqual(child(dialog, IDC_ASK)["checked"], 1)
        self.assertFalse(child(dialog, IDC_RUN_AFTER)["visible"])
        self.close_main_dialog(process, dialog)


if __name__ == "__main__":
    unittest.main()
