"""`doromi info`: what the options set, the size-check verdict and the
members, in words and as JSON; and the tool's own texts in UTF-8."""
import json
import os
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ARCHIVE_OFFSET, STUB_SIZE, ToolTestCase, run  # noqa: E402

FILES = {"문서/안내.txt": "안녕하세요\n".encode() * 300, "그림.bin": os.urandom(900)}


class InfoTest(ToolTestCase):
    def info_json(self, path, status=0):
        result = run("info", path, "--json", check=False)
        self.assertEqual(result.returncode, status, result.err)
        return json.loads(result.out)

    def test_json_shows_every_setting(self):
        self.build(self.tree(FILES), "--title", "설치 마법사", "--temp-dir", "--run", "><setup.exe|/s",
                   "--hide-run-choice", "--no-member-choice", "--hide-overwrite-choice", "--overwrite", "skip",
                   "--no-size-check", "--auto-start")
        s = self.info_json(self.path("out.exe"))["settings"]
        self.assertEqual(s["flags"], 0x74)
        self.assertEqual((s["show_run_choice"], s["allow_member_choice"], s["hide_overwrite_choice"]),
                         (False, False, True))
        self.assertEqual((s["default_overwrite"], s["size_check"], s["auto_start"]), ("skip", False, True))
        self.assertEqual((s["title"], s["default_dir"], s["temp_dir"], s["run_command"]),
                         ("설치 마법사", "><", True, "><setup.exe|/s"))
        self.assertNotIn("title_hex", s)
        # Bytes that are not code page 949 read U+FFFD, with the text's bytes beside.
        with open(self.path("out.exe"), "r+b") as f:
            f.seek(STUB_SIZE + 7)
            f.write(b"\xff\xff")
        s = self.info_json(self.path("out.exe"))["settings"]
        self.assertEqual((s["title"], s["title_hex"]),
                         ("\ufffd\ufffd치 마법사", (b"\xff\xff" + "치 마법사".encode("cp949")).hex()))

    def test_json_lists_members_in_archive_order(self):
        self.build(self.tree(FILES), "--password", "pw", "--encryption", "zipcrypto")
        report = self.info_json(self.path("out.exe"))
        self.assertEqual(report["size_check"], {"enabled": True, "matches": True})
        self.assertEqual(report["archive_offset"], ARCHIVE_OFFSET)
        self.assertEqual(report["walk_end"]["at"], "central directory")
        members = report["members"]
        self.assertEqual([m["name"] for m in members],
                         ["입력/", "입력/그림.bin", "입력/문서/", "입력/문서/안내.txt"])
        text = members[3]
        self.assertEqual((text["method_name"], text["size"], text["crc32"], text["encrypted"]),
                         ("deflated", len(FILES["문서/안내.txt"]), "%08x" % zlib.crc32(FILES["문서/안내.txt"]), True))
        self.assertLess(text["compressed_size"], text["size"])
        self.assertEqual(text["encryption"], "traditional")
        self.build(self.tree(FILES), "--password", "pw", out="aes.exe")
        aes = self.info_json(self.path("aes.exe"))["members"][3]
        self.assertEqual((aes["method"], aes["method_name"], aes["crc32"], aes["encryption"]),
                         (99, "deflated", "00000000", "AES-256 (AE-2)"))
        self.assertEqual(members[1]["method_name"], "stored")
        self.assertEqual(members[1]["compressed_size"], 900 + 12)
        self.assertFalse(members[0]["encrypted"])
        self.assertTrue(all(m["problem"] is None for m in members))
        self.assertEqual(members[1]["time"][:4], "2021")

    def test_text_names_each_flag(self):
        self.build(self.tree(FILES), "--title", "제목", "--overwrite", "overwrite")
        out = run("info", self.path("out.exe")).out
        for line in ("Title:                  제목", "Flags:                  0x0b", "show run choice:        yes",
                     "allow member choice:    yes", "hide overwrite choice:  no", "default overwrite:      overwrite",
                     "size check:             on", "auto start:             no", "Size check:      passes",
                     "입력/문서/안내.txt"):
            self.assertIn(line, out)

    def test_size_check_verdicts(self):
        data = self.build(self.tree(FILES))
        with open(self.path("longer.exe"), "wb") as f:
            f.write(data + b"\0")
        report = self.info_json(self.path("longer.exe"), status=1)
        self.assertEqual(report["size_check"], {"enabled": True, "matches": False})
        self.assertIn("Size check:      fails", run("info", self.path("longer.exe"), check=False).out)
        self.build(self.tree(FILES), "--no-settings", out="bare.exe")
        report = self.info_json(self.path("bare.exe"))
        self.assertIsNone(report["settings"])
        self.assertEqual(report["archive_offset"], STUB_SIZE)
        self.assertEqual(report["size_check"], {"enabled": False, "matches": True})
        self.assertEqual(len(report["members"]), 4)

    def test_a_file_shorter_than_the_stub_is_refused(self):
        with open(self.path("small.exe"), "wb") as f:
            f.write(b"MZ" * 10)
        result = run("info", self.path("small.exe"), check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(f"shorter than the {STUB_SIZE}-byte stub", result.err)


class ToolTextsTest(ToolTestCase):
    def test_help_is_utf8(self):
        self.assertIn("도로미", run("--help").out)
        for command in ("build", "info"):
            self.assertIn("Usage: doromi " + command, run(command, "--help").out)


if __name__ == "__main__":
    unittest.main()
