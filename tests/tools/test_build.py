"""`doromi build` from files and folders: layout, member headers, other
archivers' verdicts, encryption and determinism."""
import os
import random
import subprocess
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import (ARCHIVE_OFFSET, BLOCK_SIZE, DOROMI, STUB, STUB_SIZE, ToolTestCase, extra_fields,  # noqa: E402
                          local_headers, sample_files, zip_decrypt)

PASSWORD = "비밀번호"  # code page 949 bytes in the archive


def unzip_test(path, password=None):
    args = ["unzip", "-t"] + (["-P", password] if password is not None else []) + [path]
    # unzip takes the password's bytes as they are: give it the code page 949 bytes.
    env = dict(os.environ, LC_ALL="C")
    return subprocess.run(args, capture_output=True, env=env)


class CombinedFileLayoutTest(ToolTestCase):
    def test_stub_block_and_archive_follow_each_other(self):
        data = self.build(self.tree(), "--title", "설치")
        with open(STUB, "rb") as f:
            self.assertEqual(data[:STUB_SIZE], f.read())
        block = data[STUB_SIZE:ARCHIVE_OFFSET]
        self.assertEqual(block[:3], b"MPU")
        self.assertEqual(block[3], 0x03, "defaults must give a normal interactive file")
        title = "설치".encode("cp949")
        self.assertEqual(block[4:7], bytes([len(title), 0, 0]))
        self.assertEqual(block[7:7 + len(title)], title)
        self.assertEqual(block[7 + len(title):], bytes(BLOCK_SIZE - 7 - len(title)))
        self.assertEqual(data[ARCHIVE_OFFSET:][:4], b"PK\x03\x04")

    def test_without_settings_the_archive_follows_the_stub(self):
        data = self.build(self.tree(), "--no-settings")
        self.assertEqual(data[STUB_SIZE:STUB_SIZE + 4], b"PK\x03\x04")

    def test_each_flag_option_sets_its_bit(self):
        cases = {
            "--hide-run-choice": 0x02, "--no-member-choice": 0x01, "--hide-overwrite-choice": 0x07,
            "--no-size-check": 0x23, "--auto-start": 0x43,
        }
        tree = self.tree({"a.txt": b"a"})
        for option, flags in cases.items():
            with self.subTest(option):
                self.assertEqual(self.build(tree, option)[STUB_SIZE + 3], flags)
        for mode, flags in {"ask": 0x03, "overwrite": 0x0B, "skip": 0x13}.items():
            with self.subTest(mode):
                self.assertEqual(self.build(tree, "--overwrite", mode)[STUB_SIZE + 3], flags)

    def test_texts_are_stored_in_order_in_code_page_949(self):
        data = self.build(self.tree({"a.txt": b"a"}), "--title", "제목", "--temp-dir",
                          "--run", "><설치.exe|/s")
        texts = ["제목".encode("cp949"), b"><", "><설치.exe|/s".encode("cp949")]
        block = data[STUB_SIZE:ARCHIVE_OFFSET]
        self.assertEqual(list(block[4:7]), [len(t) for t in texts])
        self.assertEqual(block[7:7 + sum(map(len, texts))], b"".join(texts))


class MemberHeadersTest(ToolTestCase):
    def members(self, data):
        members, _ = local_headers(data, ARCHIVE_OFFSET)
        return {m["name"].decode("cp949"): m for m in members}, [m["name"].decode("cp949") for m in members]

    def test_names_order_times_and_unicode_path_field(self):
        members, order = self.members(self.build(self.tree()))
        expected = sorted(["입력/", "입력/readme.txt", "입력/문서/", "입력/문서/안내.txt", "입력/문서/빈 파일.txt",
                           "입력/자료/", "입력/자료/그림.bin"], key=lambda n: n.encode("utf-8"))
        self.assertEqual(order, expected)
        for name, m in members.items():
            self.assertEqual(m["flags"] & 0x0808, 0, f"{name}: UTF-8 flag or data descriptor set")
            # 2021-03-04 05:06:07 local, rounded up to the next even second
            self.assertEqual((m["date"], m["time"]), ((41 << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 4), name)
            field = extra_fields(m["extra"])[0x7075]
            self.assertEqual(field[0], 1)
            self.assertEqual(int.from_bytes(field[1:5], "little"), zlib.crc32(m["name"]))
            self.assertEqual(field[5:].decode("utf-8"), name)

    def test_contents_of_a_folder_with_trailing_slash_go_to_the_top(self):
        _, order = self.members(self.build(self.tree() + "/"))
        self.assertIn("문서/안내.txt", order)
        self.assertNotIn("입력/", order)

    def test_deflate_where_it_shrinks_stored_where_it_does_not(self):
        members, _ = self.members(self.build(self.tree()))
        text = members["입력/문서/안내.txt"]
        self.assertEqual(text["method"], 8)
        self.assertLess(text["csize"], text["size"])
        self.assertEqual(members["입력/자료/그림.bin"]["method"], 0)
        self.assertEqual(members["입력/문서/"]["method"], 0)

    def test_store_option_stores_everything(self):
        members, _ = self.members(self.build(self.tree(), "--store"))
        self.assertEqual({m["method"] for m in members.values()}, {0})
        self.assertEqual(members["입력/문서/안내.txt"]["csize"], members["입력/문서/안내.txt"]["size"])

    def test_member_data_round_trips(self):
        files = sample_files()
        data = self.build(self.tree(files))
        members, _ = self.members(data)
        for rel, content in files.items():
            if content is None:
                continue
            m = members["입력/" + rel]
            raw = data[m["data"]:m["data"] + m["csize"]]
            plain = zlib.decompress(raw, -15) if m["method"] == 8 else raw
            self.assertEqual(plain, content, rel)
            self.assertEqual(m["crc"], zlib.crc32(content), rel)


# How each name is stored: in code page 949 where it holds the name (with a
# Unicode Path field when it is not ASCII), otherwise in UTF-8 with flag bit 11.
NAME_FORMS = {"café.txt": "utf-8", "€uro.txt": "cp949", "naïve/": "utf-8", "naïve/ü.txt": "utf-8",
              "한글.txt": "cp949", "웃음😀.txt": "utf-8", "plain.txt": "cp949", "말.txt": "cp949"}


class MemberNameFormsTest(ToolTestCase):
    def test_code_page_949_where_it_holds_the_name_utf8_elsewhere_and_other_tools_agree(self):
        files = {name: name.encode() for name in NAME_FORMS if not name.endswith("/")}
        files["\u1106\u1161\u11af.txt"] = files.pop("말.txt")  # in jamo, as macOS writes it: composed as the stub does
        data = self.build(self.tree(files, name="t") + "/")
        found = {}
        for m in local_headers(data, ARCHIVE_OFFSET)[0]:
            form = "utf-8" if m["flags"] & 0x0800 else "cp949"
            name = m["name"].decode(form)
            found[name] = form
            field = extra_fields(m["extra"]).get(0x7075)
            if form == "utf-8" or name.isascii():
                self.assertIsNone(field, name)
            else:
                self.assertEqual(field, b"\x01" + zlib.crc32(m["name"]).to_bytes(4, "little") + name.encode(), name)
        self.assertEqual(found, NAME_FORMS)
        unzip = subprocess.run(["unzip", "-Z1", self.path("out.exe")], capture_output=True, check=True,
                               env=dict(os.environ, LC_ALL="C.UTF-8"))
        self.assertEqual(sorted(unzip.stdout.decode().splitlines()), sorted(NAME_FORMS))
        listing = subprocess.run(["7z", "l", "-slt", self.path("out.exe")], capture_output=True, text=True).stdout
        self.assertEqual(sorted(line[7:] for line in listing.splitlines() if line.startswith("Path = "))[1:],
                         sorted(name.rstrip("/") for name in NAME_FORMS))


class OtherArchiversTest(ToolTestCase):
    def check_with_unzip_and_7z(self, path, password=None):
        result = unzip_test(path, password.encode("cp949") if password else None)
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace"))
        self.assertIn(b"No errors detected", result.stdout)
        if password is None or password.isascii():
            args = ["7z", "t", path] + ([f"-p{password}"] if password else [])
            result = subprocess.run(args, capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout)
            self.assertIn("Everything is Ok", result.stdout)
            self.assertNotIn("Warnings", result.stdout)

    def test_plain_and_encrypted_archives_pass_with_the_password_only(self):
        tree = self.tree()
        for options, password in (((), None), (("--store", "--no-settings"), None),
                                  (("--password", PASSWORD, "--encryption", "zipcrypto"), PASSWORD),
                                  (("--password", "secret", "--encryption", "zipcrypto", "--store"), "secret")):
            with self.subTest(options=options):
                self.build(tree, *options)
                self.check_with_unzip_and_7z(self.path("out.exe"), password)
                if password:
                    self.assertNotEqual(unzip_test(self.path("out.exe"), b"wrong").returncode, 0)

    def test_7z_lists_the_korean_names(self):
        self.build(self.tree())
        listing = subprocess.run(["7z", "l", "-slt", self.path("out.exe")], capture_output=True, text=True).stdout
        self.assertIn("Path = 입력/문서/안내.txt", listing)

    # unzip 6.00 cannot read AES members; 7-Zip can, with the password in
    # UTF-8, as the archive made them (the stub tries that form too).
    def test_aes_archives_pass_7z_with_the_password_only(self):
        tree = self.tree()
        for options, password in ((["--encryption", "aes128"], "secret"), ([], PASSWORD),
                                  (["--store"], PASSWORD)):
            with self.subTest(options=options):
                self.build(tree, "--password", password, *options, out="aes.exe")
                for attempt, expected in ((password, 0), ("wrong", 2)):
                    result = subprocess.run(["7z", "t", f"-p{attempt}", self.path("aes.exe")], capture_output=True,
                                            text=True)
                    self.assertEqual(result.returncode, expected, result.stdout)
                members, _ = local_headers(self.build(tree, "--password", password, *options, out="aes.exe"),
                                           ARCHIVE_OFFSET)
                files = [m for m in members if not m["name"].endswith(b"/")]
                self.assertTrue(all(m["method"] == 99 and m["crc"] == 0 for m in files), "AE-2 records no CRC")

    def test_password_file_is_the_same_password(self):
        tree = self.tree({"a.txt": b"abc" * 100})
        with open(self.path("pw"), "w", encoding="utf-8") as f:
            f.write(PASSWORD + "\n")
        by_file = self.build(tree, "--password-file", self.path("pw"), out="a.exe")
        by_option = self.build(tree, "--password", PASSWORD, out="b.exe")
        self.assertEqual(by_file, by_option)

    # The traditional cipher takes the code page 949 bytes a Korean Windows'
    # box gives, or UTF-8 for a password that code page 949 cannot hold.
    def test_encryption_header_check_byte_is_the_crc_high_byte(self):
        files = {"a.txt": "가나다".encode("utf-8") * 300, "b.bin": os.urandom(500), "c.txt": b""}
        for password, key in ((PASSWORD, PASSWORD.encode("cp949")), ("암호😀", "암호😀".encode())):
            data = self.build(self.tree(files, name="t"), "--password", password, "--encryption", "zipcrypto")
            members, _ = local_headers(data, ARCHIVE_OFFSET)
            for m in members[1:]:  # after the folder member "t/"
                content = files[m["name"].decode()[2:]]
                self.assertEqual(m["flags"] & 0x09, 0x01, "encrypted, no data descriptor")
                self.assertEqual(m["crc"], zlib.crc32(content))
                plain = zip_decrypt(data[m["data"]:m["data"] + m["csize"]], key)
                self.assertEqual(plain[11], m["crc"] >> 24)
                body = zlib.decompress(plain[12:], -15) if m["method"] == 8 else plain[12:]
                self.assertEqual(body, content)


class CompressionLevelTest(ToolTestCase):
    WHOLE_MEMBER_LIMIT = 64 << 20  # members above it stream through zlib

    def build_with_peak_memory(self, *args):
        """The peak resident memory of the build, in bytes."""
        process = subprocess.Popen([DOROMI, "build", "-o", self.path("out.exe"), *args], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        _, status, usage = os.wait4(process.pid, 0)
        self.assertEqual(os.waitstatus_to_exitcode(status), 0, process.stderr.read().decode())
        return usage.ru_maxrss * 1024

    def test_levels_pass_unzip_and_a_member_over_the_limit_streams(self):
        rng = random.Random(1)
        words = ["".join(rng.choices("abcdefgh", k=rng.randint(2, 8))) for _ in range(500)]
        text = " ".join(rng.choices(words, k=30000)).encode()
        tree = self.tree({"words.txt": text, "big.bin": b""}, name="t")
        os.truncate(os.path.join(tree, "big.bin"), self.WHOLE_MEMBER_LIMIT + 1)  # sparse: nothing is written
        text_sizes = {}
        for options in (["--level", "1"], ["--level", "12"], []):
            with self.subTest(options=options):
                peak = self.build_with_peak_memory(tree, *options)
                result = unzip_test(self.path("out.exe"))
                self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace"))
                self.assertLess(peak, self.WHOLE_MEMBER_LIMIT, "the large member was read whole")
                with open(self.path("out.exe"), "rb") as f:
                    members, _ = local_headers(f.read(), ARCHIVE_OFFSET)
                self.assertEqual([m["method"] for m in members], [0, 8, 8], "folder, big.bin, words.txt")
                text_sizes[tuple(options)] = members[2]["csize"]
        self.assertLess(text_sizes[("--level", "12")], text_sizes[("--level", "1")])


class DeterminismTest(ToolTestCase):
    def test_rebuilds_are_byte_identical(self):
        tree = self.tree()
        for options in ([], ["--password", PASSWORD], ["--password", PASSWORD, "--encryption", "zipcrypto"],
                        ["--store", "--title", "같은 파일"]):
            with self.subTest(options=options):
                self.assertEqual(self.build(tree, *options, out="one.exe"), self.build(tree, *options, out="two.exe"))

    def test_random_headers_differ_between_builds(self):
        tree = self.tree({"a.txt": b"abc" * 100})
        for encryption in ("zipcrypto", "aes256"):
            one = self.build(tree, "--password", "pw", "--encryption", encryption, "--random-headers", out="one.exe")
            two = self.build(tree, "--password", "pw", "--encryption", encryption, "--random-headers", out="two.exe")
            self.assertNotEqual(one, two)
            self.assertEqual(len(one), len(two))


if __name__ == "__main__":
    unittest.main()
