"""Members that fail under the real stub, one table: a damaged member under
each overwrite choice leaves no file of its own and the file it was to
replace as it was; files that cannot be replaced, names with characters
Windows forbids, method 99 that is not AES, ZIP64 sizes, a signed file whose
comment runs to its end, directory members of any method, a damaged
encrypted member among good ones and a linked directory in the target.

Every case starts the stub without an automatic start, presses Start and
answers each window the pass shows, in order; a later pass runs under
"skip existing files". Wine's file trace shows which temporary files the
stub created."""
import io
import os
import re
import struct
import subprocess
import time
import zipfile

from combined import settings_block, with_wrong_crc, write_combined, zip_archive
from fixed_values import IDC_EXISTS_QUESTION, IDC_MEMBER_LIST, IDC_PASSWORD, IDC_SKIP, IDC_START, IDOK
from harness import child, doromi_build, message_box_text, wait_exit, windows_path
from zip_reading import local_headers
from test_dialogs import (ALL_EXTRACTED, CHOICES, ERROR_CAPTION, FILE_EXISTS, FINISHED, MAIN_TITLE,
                          OVERWRITE_DEFAULT, PASSWORD_TITLE, QUESTION_TITLE, SOME_NOT_EXTRACTED,
                          DialogTestCase)
from test_names import BAD_NAME, CANNOT_OPEN, SKIP_DEFAULT

ASK = 0
UNKNOWN_METHOD = "알수없는 압축 형식"
SIZE_NOT_RECORDED = "크기가 기록되지 않은 파일은 풀 수 없습니다."
START, OK, MEMBERS, SKIP_BUTTON, PASSWORD = IDC_START, IDOK, IDC_MEMBER_LIST, IDC_SKIP, IDC_PASSWORD
FAILED = (ERROR_CAPTION, SOME_NOT_EXTRACTED)
DONE = (FINISHED, ALL_EXTRACTED)
SECRET = "sesame"
# A temporary file the stub creates (disposition 2, FILE_CREATE), as Wine's
# trace of NtCreateFile shows it: its directory, name and attributes.
TEMPORARY = re.compile(r'NtCreateFile .*name=L"\\\\\?\?\\\\(?P<dir>[^"]*)\\\\(?P<name>~dr[^"\\]*)"'
                       r'.* attr=(?P<attr>[0-9a-f]{8}) sharing=[0-9a-f]{8} disp=2 ')


def asked(name):
    """The overwrite question for `name`, answered with yes."""
    return (QUESTION_TITLE, name)


def password(text):
    return (PASSWORD_TITLE, text)


def patched(archive, name, method=None, set_flags=0, extra=None):
    """`archive` with `name`'s local header changed; a new extra field must
    be as long as the old one."""
    data = bytearray(archive)
    for member in local_headers(archive, archive.find(b"PK\x03\x04"))[0]:
        if member["name"] == name.encode():
            at = member["offset"]
            struct.pack_into("<H", data, at + 6, member["flags"] | set_flags)
            if method is not None:
                struct.pack_into("<H", data, at + 8, method)
            if extra is not None:
                assert len(extra) == len(member["extra"])
                begin = at + 30 + len(member["name"])
                data[begin:begin + len(extra)] = extra
            return bytes(data)
    raise ValueError(name)


def with_aes_field(field, flags=1):
    """A stored member "secret.bin" between two plain ones, given method 99,
    `flags` and a 0x9901 extra field holding `field`."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
        z.writestr("first.txt", b"first")
        info = zipfile.ZipInfo("secret.bin")
        info.extra = struct.pack("<HH", 0x9901, len(field)) + field
        z.writestr(info, bytes(range(48)))
        z.writestr("after.txt", b"after")
    return patched(buffer.getvalue(), "secret.bin", method=99, set_flags=flags)


def aes_field(version=2, strength=3, method=0):
    return struct.pack("<H2sBH", version, b"AE", strength, method)


def from_stdin(folder, zip64_tag=0x0001):
    """first.txt, then "hello" through zip's standard input, whose local
    header has size placeholders and the sizes in a ZIP64 field; the
    field's tag is then made `zip64_tag`."""
    path = os.path.join(folder, "stdin.zip")
    with open(os.path.join(folder, "first.txt"), "wb") as f:
        f.write(b"first")
    subprocess.run(["zip", "-q", "-0", "-X", path, "first.txt"], cwd=folder, check=True)
    subprocess.run(["zip", "-q", "-0", "-X", path, "-"], cwd=folder, input=b"hello", check=True)
    with open(path, "rb") as f:
        archive = f.read()
    member = local_headers(archive, 0)[0][1]
    assert (member["name"], member["size"], member["extra"][:2]) == (b"-", 0xFFFFFFFF, b"\x01\x00")
    return patched(archive, "-", extra=struct.pack("<H", zip64_tag) + member["extra"][2:])


def encrypted(folder, files, damaged):
    """`files` encrypted by Info-ZIP zip with SECRET, in this order, with
    `damaged`'s recorded CRC off by one (its password check still passes)."""
    source = os.path.join(folder, "source")
    os.makedirs(source)
    for name, data in files.items():
        with open(os.path.join(source, name), "wb") as f:
            f.write(data)
    path = os.path.join(folder, "locked.zip")
    subprocess.run(["zip", "-q", "-X", "-P", SECRET, path, *files], cwd=source, check=True)
    with open(path, "rb") as f:
        return with_wrong_crc(f.read(), damaged)


def contents(root):
    """Everything below `root`: {path with "/": bytes}, a directory as
    "path/": None and a symbolic link as "path@": where it points."""
    found = {}
    for directory, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(directory, name)
            key = os.path.relpath(path, root).replace(os.sep, "/")
            if os.path.islink(path):
                found[key + "@"] = os.readlink(path)
            elif os.path.isdir(path):
                found[key + "/"] = None
            else:
                with open(path, "rb") as f:
                    found[key] = f.read()
    return found


def fingerprint(path):
    """What a file that was left alone keeps: its inode, mode, time and
    extended attributes (where Wine keeps DOS attributes)."""
    status = os.stat(path)
    try:
        attributes = {name: os.getxattr(path, name) for name in os.listxattr(path)}
    except OSError:
        attributes = None
    return status.st_ino, status.st_mode, status.st_mtime_ns, attributes


DAMAGED = with_wrong_crc(zip_archive({"bad.txt": b"new but damaged", "good.txt": b"good"}), "bad.txt")
OLD = {"bad.txt": b"old and good"}
LOCKED = zip_archive({"readonly.txt": b"new", ".hidden.txt": b"new", "held.txt": b"new", "good.txt": b"good"})
BAD_NAMES = ["lt</x.txt", "gt>/x.txt", 'quote"/x.txt', "bar|/x.txt", "what?/x.txt", "dir*/x.txt",
             "unit\x1f/x.txt"]
DIRECTORIES = patched(patched(zip_archive({"dir12/": b"", "dir99/": b"", "after.txt": b"after"}),
                              "dir12/", method=12), "dir99/", method=99)


def signed(test, folder):
    """A file signed by `doromi build`, whose end record's comment is then
    made to run over the certificate table to the end of the file."""
    cert, key, source = (os.path.join(folder, name) for name in ("cert.pem", "key.pem", "source"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "30", "-subj", "/CN=Doromi Test Signer"], check=True, capture_output=True)
    os.makedirs(source)
    with open(os.path.join(source, "signed.txt"), "wb") as f:
        f.write(b"from a signed file")
    exe = os.path.join(folder, "signed.exe")
    doromi_build("-o", exe, "--sign-cert", cert, "--sign-key", key, "--overwrite", "overwrite",
                 "--default-dir", windows_path(test.target), source + "/", capture_output=True)
    with open(exe, "rb") as f:
        data = bytearray(f.read())
    end = data.rfind(b"PK\x05\x06")
    struct.pack_into("<H", data, end + 20, len(data) - end - 22)
    return bytes(data)


def fixed(archive):
    return lambda test, folder: archive


def hold_and_lock(test, target):
    os.chmod(os.path.join(target, "readonly.txt"), 0o444)
    test.session.hold_file(os.path.join(target, "held.txt"), "read", "share-read")


def outside_link(test, target):
    outside = os.path.join(os.path.dirname(target), "outside")
    os.makedirs(outside)
    os.symlink(outside, os.path.join(target, "linked"))


def target_through_link(test, target):
    """The target itself is a link, which is the user's choice, not a member's."""
    real = os.path.join(os.path.dirname(target), "real-target")
    os.makedirs(real)
    os.rmdir(target)
    os.symlink(real, target)


def cannot_open(*names):
    return [(CANNOT_OPEN, "TARGET\\" + name) for name in names]


# label, overwrite choice, archive(test, folder), existing files, set-up(test, target),
# boxes while the list is filled, the passes (windows in order; every pass
# after the first under "skip"), what the target then holds, the members
# left selected (None: all were extracted and the stub ended), and how many
# temporary files the stub created.
CASES = [
    ("damaged-new-overwrite", OVERWRITE_DEFAULT, fixed(DAMAGED), {}, None, [], [[FAILED], [FAILED]],
     {"good.txt": b"good"}, ["bad.txt"], 0),
    ("damaged-new-skip", SKIP_DEFAULT, fixed(DAMAGED), {}, None, [], [[FAILED], [FAILED]],
     {"good.txt": b"good"}, ["bad.txt"], 0),
    ("damaged-new-ask", ASK, fixed(DAMAGED), {}, None, [], [[FAILED], [FAILED]],
     {"good.txt": b"good"}, ["bad.txt"], 0),
    ("damaged-replacing-overwrite", OVERWRITE_DEFAULT, fixed(DAMAGED), OLD, None, [], [[FAILED], [DONE]],
     {**OLD, "good.txt": b"good"}, None, 1),
    ("damaged-replacing-yes", ASK, fixed(DAMAGED), OLD, None, [], [[asked("bad.txt"), FAILED], [DONE]],
     {**OLD, "good.txt": b"good"}, None, 1),
    ("damaged-kept-skip", SKIP_DEFAULT, fixed(DAMAGED), OLD, None, [], [[DONE]],
     {**OLD, "good.txt": b"good"}, None, 0),
    ("cannot-replace", OVERWRITE_DEFAULT, fixed(LOCKED),
     {"readonly.txt": b"read-only", ".hidden.txt": b"hidden", "held.txt": b"in use"}, hold_and_lock, [],
     [[*cannot_open("readonly.txt", ".hidden.txt", "held.txt"), FAILED]],
     {"readonly.txt": b"read-only", ".hidden.txt": b"hidden", "held.txt": b"in use", "good.txt": b"good"},
     [".hidden.txt", "held.txt", "readonly.txt"], 0),
    ("forbidden-characters", OVERWRITE_DEFAULT,
     fixed(zip_archive({"a.txt": b"a", **{name: b"refused" for name in BAD_NAMES}, "z.txt": b"z"})), {}, None,
     [], [[*((BAD_NAME, name) for name in BAD_NAMES), FAILED]], {"a.txt": b"a", "z.txt": b"z"},
     sorted(BAD_NAMES), 0),
    ("aes-without-bit-0", OVERWRITE_DEFAULT, fixed(with_aes_field(aes_field(), flags=0)), {}, None, [],
     [[(ERROR_CAPTION, UNKNOWN_METHOD)]], {"first.txt": b"first"}, ["after.txt", "secret.bin"], 0),
    ("aes-five-byte-field", OVERWRITE_DEFAULT, fixed(with_aes_field(aes_field()[:5])), {}, None, [],
     [[(ERROR_CAPTION, UNKNOWN_METHOD)]], {"first.txt": b"first"}, ["after.txt", "secret.bin"], 0),
    ("aes-strength-0", OVERWRITE_DEFAULT, fixed(with_aes_field(aes_field(strength=0))), {}, None, [],
     [[(ERROR_CAPTION, UNKNOWN_METHOD)]], {"first.txt": b"first"}, ["after.txt", "secret.bin"], 0),
    ("aes-inner-method-12", OVERWRITE_DEFAULT, fixed(with_aes_field(aes_field(method=12))), {}, None, [],
     [[(ERROR_CAPTION, UNKNOWN_METHOD)]], {"first.txt": b"first"}, ["after.txt", "secret.bin"], 0),
    ("zip64-sizes", OVERWRITE_DEFAULT, lambda test, folder: from_stdin(folder), {}, None, [], [[DONE]],
     {"first.txt": b"first", "-": b"hello"}, None, 0),
    ("zip64-placeholder-unusable", OVERWRITE_DEFAULT, lambda test, folder: from_stdin(folder, 0x0009), {},
     None, [(SIZE_NOT_RECORDED, "-")], [[(SIZE_NOT_RECORDED, "-")]], {"first.txt": b"first"}, [], 0),
    ("directory-members-of-any-method", OVERWRITE_DEFAULT, fixed(DIRECTORIES), {}, None, [], [[DONE]],
     {"dir12/": None, "dir99/": None, "after.txt": b"after"}, None, 0),
    ("damaged-encrypted-among-good", SKIP_DEFAULT,
     lambda test, folder: encrypted(folder, {"a.txt": b"a" * 100, "bad.txt": b"b" * 100, "c.txt": b"c" * 100},
                                    "bad.txt"), {}, None, [],
     [[password(SECRET), FAILED], [password(SECRET), FAILED]], {"a.txt": b"a" * 100, "c.txt": b"c" * 100},
     ["bad.txt"], 0),
    ("signed-comment-to-the-end", OVERWRITE_DEFAULT, signed, {}, None, [], [[DONE]],
     {"signed.txt": b"from a signed file"}, None, 0),
    ("dot-parts-in-a-linked-target", OVERWRITE_DEFAULT,
     fixed(zip_archive({"./a.txt": b"a", "b/./c.txt": b"c"})), {}, target_through_link, [], [[DONE]],
     {"a.txt": b"a", "b/": None, "b/c.txt": b"c"}, None, 0),
    ("linked-directory", OVERWRITE_DEFAULT,
     fixed(zip_archive({"linked/evil.txt": b"evil", "linked/sub/deep.txt": b"deep", "ok.txt": b"ok"})), {},
     outside_link, [], [[*cannot_open("linked\\evil.txt", "linked\\sub\\deep.txt"), FAILED]],
     {"linked@": "OUTSIDE", "ok.txt": b"ok"}, ["linked/evil.txt", "linked/sub/deep.txt"], 0),
]


class FaultsTest(DialogTestCase):
    session_name = "faults"

    def start_traced(self, exe, folder):
        self.trace = os.path.join(folder, "trace.txt")
        with open(self.trace, "w") as log:
            self.process = self.session.start(exe, cwd=folder, env={"WINEDEBUG": "trace+file"}, log=log)

    def next_window(self, main):
        """The next dialog of the stub's other than its main one, as dumped."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            for window in self.session.top_level_dialogs():
                if window["hwnd"] != main:
                    dumped = self.session.dump(window["hwnd"])
                    if dumped is not None:
                        return dumped
            time.sleep(0.2)
        self.fail(f"no window came; screen: {self.session.screenshot('timeout')}")

    def answer(self, main, expected):
        """Answers the next window, which must be `expected`: (caption,
        text) of a box, the overwrite question or the password prompt."""
        window = self.next_window(main)
        caption, text = expected
        self.assertEqual(window["text"], caption)
        if caption == QUESTION_TITLE:
            self.assertEqual(child(window, IDC_EXISTS_QUESTION)["text"], text + FILE_EXISTS)
        elif caption == PASSWORD_TITLE:
            self.session.set_text(window["hwnd"], PASSWORD, text)
        else:
            self.assertEqual(message_box_text(window), text.replace("TARGET", windows_path(self.target)))
        self.session.press(window["hwnd"], OK)
        self.session.wait_gone(window["hwnd"])

    def pass_over(self, main):
        """Waits until the pass has given the main dialog its title back
        (or the stub has ended); no other window may then be up."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return
            dumped = self.session.dump(main)
            if dumped is None or dumped["text"] == MAIN_TITLE:
                break
            time.sleep(0.2)
        self.assertEqual([w["text"] for w in self.session.top_level_dialogs() if w["hwnd"] != main], [])

    def temporaries(self):
        with open(self.trace, encoding="utf-8", errors="replace") as f:
            return {m.group("name"): m.group("dir", "attr") for m in TEMPORARY.finditer(f.read())}

    def run_case(self, label, mode, make, existing, prepare, at_open, passes, expected, selected, temporaries):
        self.session.end_programs()
        folder = os.path.join(self.case, label)
        self.target = os.path.join(folder, "target")
        os.makedirs(self.target)
        for name, data in existing.items():
            with open(os.path.join(self.target, name), "wb") as f:
                f.write(data)
        if prepare:
            prepare(self, self.target)
        before = {name: fingerprint(os.path.join(self.target, name)) for name in existing}
        made = make(self, folder)
        exe = os.path.join(folder, "combined.exe")
        if made.startswith(b"MZ"):  # a whole file, as `doromi build` makes it
            with open(exe, "wb") as f:
                f.write(made)
        else:
            write_combined(exe, block=settings_block(CHOICES | mode, default_dir=windows_path(self.target)),
                           archive=made)
        self.start_traced(exe, folder)
        for box in at_open:
            self.answer(None, box)
        main = self.session.wait_for_window(MAIN_TITLE)["hwnd"]
        for number, windows in enumerate(passes):
            if number:
                self.session.press(main, SKIP_BUTTON)
            self.session.press(main, START)
            for window in windows:
                self.answer(main, window)
            self.pass_over(main)
        if selected is None:
            self.assertEqual(wait_exit(self.process), 0)
        else:
            members = child(self.session.dump(main), MEMBERS)
            self.assertEqual(sorted(members["items"][i] for i in members["selected"]), selected)
        outside = os.path.join(folder, "outside")
        self.assertEqual(contents(self.target),
                         {k: v.replace("OUTSIDE", outside) if isinstance(v, str) else v
                          for k, v in expected.items()})
        if os.path.isdir(outside):
            self.assertEqual(os.listdir(outside), [])
        for name in existing:
            if expected.get(name) == existing[name]:
                self.assertEqual(fingerprint(os.path.join(self.target, name)), before[name], name)
        # Each temporary file is hidden, beside the file it was to replace.
        created = self.temporaries()
        self.assertEqual(len(created), temporaries, created)
        for name, (directory, attributes) in created.items():
            self.assertRegex(name, r"^~dr[0-9a-f]{8}\.tmp$")
            self.assertEqual(directory, windows_path(self.target).replace("\\", "\\\\"))
            self.assertTrue(int(attributes, 16) & 0x2, attributes)

    def test_failing_members_leave_nothing_behind_and_the_pass_goes_on(self):
        for case in CASES:
            with self.subTest(case[0]):
                self.run_case(*case)


if __name__ == "__main__":
    import unittest
    unittest.main()
