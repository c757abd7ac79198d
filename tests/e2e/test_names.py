"""Member names in the real stub on a Korean system (code page 949): UTF-8
names as Python's zipfile, 7z and Info-ZIP zip write them, the Unicode Path
extra field, names outside the code page, case twins and duplicates, a
directory in a file's place; and two fixes of the same change: a member a
wrong password opened by chance asks again, and "never ask again" moves the
overwrite buttons during an automatic start."""
import io
import os
import struct
import subprocess
import warnings
import zipfile
import zlib

from combined import with_wrong_crc, wrong_passwords
from fixed_values import IDC_ASK, IDC_MEMBER_LIST, IDC_OVERWRITE, IDC_PASSWORD, IDC_START, IDOK
from harness import child, doromi_build, message_box_text, tree, wait_exit, windows_path, write_tree
from test_dialogs import (ALL_EXTRACTED, AUTO_START, CHOICES, ERROR_CAPTION, FINISHED, MAIN_TITLE,
                          OVERWRITE_DEFAULT, PASSWORD_TITLE, SOME_NOT_EXTRACTED, DialogTestCase)

BAD_NAME = "적절하지 않은 파일 이름입니다."
CANNOT_OPEN = "파일을 열 수 없습니다."
SKIP_DEFAULT = 0x10
OK, START, MEMBERS, OVERWRITE_BUTTON, ASK_BUTTON = IDOK, IDC_START, IDC_MEMBER_LIST, IDC_OVERWRITE, IDC_ASK
KOREAN = {"한글 폴더/문서.txt": "문서 내용\n".encode(), "그림/로고.bmp": bytes(range(256)),
          "zz.txt": b"ascii after the Korean names\n"}
KOREAN_TOP = ["한글 폴더", "그림", "zz.txt"]  # what the tools are given


def archive(*members):
    """A deflated archive of (name or ZipInfo, data) in this order; names may repeat."""
    buffer = io.BytesIO()
    with warnings.catch_warnings(), zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        warnings.simplefilter("ignore")  # "Duplicate name": meant here
        for name, data in members:
            z.writestr(name, data)
    return buffer.getvalue()


def unicode_path(name, utf8_name, crc_of):
    """A member named `name` whose Unicode Path field holds `utf8_name` and
    the CRC-32 of `crc_of` (the header's name when the field is current)."""
    info = zipfile.ZipInfo(name)
    field = struct.pack("<BI", 1, zlib.crc32(crc_of.encode())) + utf8_name.encode()
    info.extra = struct.pack("<HH", 0x7075, len(field)) + field
    return info


class NamesTest(DialogTestCase):
    session_name = "names"

    def fresh_target(self, label):
        # A stub that a failed case left waiting would answer for this one.
        self.session.end_programs()
        self.target = os.path.join(self.case, label)
        os.makedirs(self.target)

    def selected(self, main):
        members = child(main, MEMBERS)
        return sorted(members["items"][i] for i in members["selected"])

    def tool_archive(self, *command):
        source = os.path.join(self.case, "source")
        write_tree(source, KOREAN)
        path = os.path.join(self.case, command[0] + ".zip")
        subprocess.run([*command, path, *KOREAN_TOP], cwd=source, check=True, capture_output=True,
                       env={**os.environ, "LC_ALL": "ko_KR.UTF-8"})
        with open(path, "rb") as f:
            return f.read()

    def test_each_member_comes_out_under_its_own_name(self):
        placeholder = b"under the placeholder's header"
        ascii_after = ("zz.txt", KOREAN["zz.txt"])
        cases = [
            ("zipfile", lambda: archive(*KOREAN.items()), KOREAN),  # flag bit 11
            ("7z", lambda: self.tool_archive("7z", "a", "-tzip"), KOREAN),
            ("info-zip", lambda: self.tool_archive("zip", "-q", "-r", "-X"), KOREAN),  # raw UTF-8
            ("unicode-path", lambda: archive((unicode_path("placeholder.txt", "유니코드.txt",
                                                           "placeholder.txt"), placeholder), ascii_after),
             {"유니코드.txt": placeholder, "zz.txt": KOREAN["zz.txt"]}),
            ("stale-unicode-path", lambda: archive((unicode_path("placeholder.txt", "유니코드.txt",
                                                                 "renamed.txt"), placeholder), ascii_after),
             {"placeholder.txt": placeholder, "zz.txt": KOREAN["zz.txt"]}),
            ("fullwidth", lambda: archive(("전각／이름.txt", b"fullwidth solidus"), ascii_after),
             {"전각／이름.txt": b"fullwidth solidus", "zz.txt": KOREAN["zz.txt"]}),
            # Wine's drive Z: takes a case twin for the same file, as Windows does;
            # the twin that replaces the file gives it its spelling.
            ("twins-and-duplicates", lambda: archive(
                ("xt_MARK.h", b"upper"), ("xt_mark.h", b"lower"), ("a.txt", b"first"),
                *((f"{c}.txt", c.encode()) for c in "bcdefgh"), ("a.txt", b"last")),
             {"xt_mark.h": b"lower", "a.txt": b"last", **{f"{c}.txt": c.encode() for c in "bcdefgh"}}),
        ]
        for label, make, expected in cases:
            with self.subTest(label):
                self.fresh_target(label)
                self.start(make(), CHOICES | AUTO_START | OVERWRITE_DEFAULT)
                self.assertEqual(wait_exit(self.process, timeout=60), 0)
                self.assertEqual(tree(self.target), expected)

    def test_names_outside_the_code_page_are_written_and_unreadable_ones_refused(self):
        # zipfile marks "badé.txt" as UTF-8; its two UTF-8 bytes of é are
        # then swapped for two that neither UTF-8 nor code page 949 has.
        names = archive(("가격₩.txt", b"won"), ("café.txt", b"cafe"), ("badé.txt", b"bad"),
                        ("ok.txt", b"ok"))
        self.start(names.replace("badé".encode(), b"bad\xff\xfe"), CHOICES | AUTO_START | OVERWRITE_DEFAULT)
        main = self.finish((BAD_NAME, "bad??.txt"))
        self.assertEqual(self.selected(main), ["bad??.txt"])
        # Each name as itself, never a best-fit one ("가격\.txt", "cafe.txt");
        # nothing outside the target.
        self.assertEqual(tree(self.target), {"가격₩.txt": b"won", "café.txt": b"cafe", "ok.txt": b"ok"})
        self.assertEqual(sorted(os.listdir(self.case)), ["combined.exe", "target"])

    def test_a_directory_in_a_files_place_is_left_alone(self):
        for label, mode in (("overwrite", OVERWRITE_DEFAULT), ("skip", SKIP_DEFAULT)):
            with self.subTest(label):
                self.fresh_target(label)
                os.makedirs(os.path.join(self.target, "a.txt"))
                with open(os.path.join(self.target, "a.txt", "inside.txt"), "wb") as f:
                    f.write(b"kept")
                self.start(archive(("a.txt", b"file"), ("b.txt", b"other")), CHOICES | AUTO_START | mode)
                main = self.finish((CANNOT_OPEN, windows_path(self.target) + "\\a.txt"))
                self.assertEqual(self.selected(main), ["a.txt"])
                self.assertEqual(tree(self.target), {"a.txt/inside.txt": b"kept", "b.txt": b"other"})

    # The second twin meets the first's file; "never ask again" with yes
    # moves the main dialog's buttons from "ask" to "overwrite" though the
    # pass runs by itself. A broken member keeps the dialog up to read them.
    def test_never_ask_again_during_an_automatic_start_moves_the_overwrite_buttons(self):
        members = archive(("xt_MARK.h", b"upper"), ("xt_mark.h", b"lower"), ("broken.txt", b"b"))
        self.start(with_wrong_crc(members, "broken.txt"), CHOICES | AUTO_START)
        self.answer_question("xt_mark.h", OK, never_ask_again=True)
        main = self.finish()
        self.assertEqual((child(main, OVERWRITE_BUTTON)["checked"], child(main, ASK_BUTTON)["checked"]),
                         (1, 0))
        # The broken member fails its CRC check and leaves no file.
        self.assertEqual(tree(self.target), {"xt_mark.h": b"lower"})

    # About one wrong password in 256 passes the check byte; the member then
    # fails its CRC, and the password must not be used again.
    def test_a_member_a_wrong_password_opened_by_chance_asks_again(self):
        source = os.path.join(self.case, "source")
        os.makedirs(source)
        with open(os.path.join(source, "secret.txt"), "wb") as f:
            f.write(b"secret\r\n" * 100)
        exe = os.path.join(self.case, "locked.exe")
        # The failed pass leaves its file behind; the second replaces it.
        doromi_build("-o", exe, "--password", "RIGHT", "--encryption", "zipcrypto",
                     "--default-dir", windows_path(self.target),
                     "--overwrite", "overwrite", source + "/", capture_output=True)
        with open(exe, "rb") as f:
            wrong, = wrong_passwords(f.read(), 1, pass_the_check=True)
        self.process = self.session.start(exe, cwd=self.case)
        dialog = self.session.wait_for_window(MAIN_TITLE)
        for password, verdict in ((wrong, (ERROR_CAPTION, SOME_NOT_EXTRACTED)),
                                  ("RIGHT", (FINISHED, ALL_EXTRACTED))):
            self.session.press(dialog["hwnd"], START)
            prompt = self.session.wait_for_window(PASSWORD_TITLE)
            self.session.set_text(prompt["hwnd"], IDC_PASSWORD, password)
            self.session.press(prompt["hwnd"], OK)
            self.answer_box(*verdict)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual(tree(self.target), {"secret.txt": b"secret\r\n" * 100})
