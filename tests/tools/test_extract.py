"""`doromi extract`: round trips through `doromi build`, member choice,
the overwrite policy, passwords, and damaged or hostile files."""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import MTIME, STUB, ToolTestCase, run, sample_files, tree_contents, write_zip  # noqa: E402
from zip_reading import deep_name  # noqa: E402

PASSWORD = "열려라 참깨"


class RoundTripTest(ToolTestCase):
    def round_trip(self, *build_options, extract_options=()):
        source = self.tree()
        self.build(source, *build_options)
        target = self.path("target")
        os.mkdir(target)
        result = run("extract", self.path("out.exe"), "-d", target, *extract_options)
        return source, os.path.join(target, "입력"), result

    def assertSameTree(self, source, extracted):
        self.assertEqual(tree_contents(extracted), tree_contents(source))
        for name, data in sample_files().items():
            if data is not None:
                # DOS times have two-second steps; MTIME's odd second rounds up.
                self.assertEqual(os.stat(os.path.join(extracted, name)).st_mtime, MTIME + 1, name)

    def test_deflated_stored_and_encrypted_files_come_back_whole(self):
        for options in ((), ("--store",), ("--password", PASSWORD)):
            with self.subTest(options=options):
                self.setUp()
                extract = ("--password", PASSWORD) if "--password" in options else ()
                source, extracted, result = self.round_trip(*options, extract_options=extract)
                self.assertSameTree(source, extracted)
                self.assertIn("모든 파일을 압축을 풀었습니다.", result.out)
                self.assertIn("압축 풀기: " + os.path.realpath(extracted) + "/문서/안내.txt", result.out)

    def test_only_the_named_members(self):
        source, extracted, _ = self.round_trip(extract_options=("--only", "입력/문서/안내.txt", "-q"))
        self.assertEqual(tree_contents(os.path.dirname(extracted)),
                         {"입력/": None, "입력/문서/": None,
                          "입력/문서/안내.txt": sample_files()["문서/안내.txt"]})

    def test_names_of_any_script_come_back_whole_or_one_by_one(self):
        files = {"café.txt": b"1", "€uro.txt": b"2", "naïve/ü.txt": b"3", "한글.txt": b"4", "웃음😀.txt": b"5"}
        self.build(self.tree(files, name="t") + "/")
        run("extract", self.path("out.exe"), "-d", self.path("all"), "-q")
        self.assertEqual(tree_contents(self.path("all")), {**files, "naïve/": None})
        run("extract", self.path("out.exe"), "-d", self.path("one"), "-q", "--only", "naïve/ü.txt")
        self.assertEqual(tree_contents(self.path("one")), {"naïve/": None, "naïve/ü.txt": b"3"})

    def test_unknown_member_name_is_refused(self):
        self.build(self.tree())
        result = run("extract", self.path("out.exe"), "--only", "없는.txt", check=False)
        self.assertEqual(result.returncode, 2)
        self.assertIn("no member named 없는.txt", result.err)


class PolicyTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.build(self.tree({"a.txt": b"new a", "b.txt": b"new b"}, name="src"))
        self.target = self.path("target")
        os.makedirs(os.path.join(self.target, "src"))
        for name in ("a.txt", "b.txt"):
            with open(os.path.join(self.target, "src", name), "wb") as f:
                f.write(b"old")

    def extract(self, *options, answers=""):
        result = subprocess.run([os.path.join(os.path.dirname(STUB), "doromi"), "extract",
                                 self.path("out.exe"), "-d", self.target, *options],
                                input=answers.encode(), capture_output=True)
        return result.returncode, result.stderr.decode()

    def content(self, name):
        with open(os.path.join(self.target, "src", name), "rb") as f:
            return f.read()

    def test_skip_and_overwrite(self):
        self.assertEqual(self.extract("--overwrite", "skip")[0], 0)
        self.assertEqual((self.content("a.txt"), self.content("b.txt")), (b"old", b"old"))
        self.assertEqual(self.extract("--overwrite", "overwrite")[0], 0)
        self.assertEqual((self.content("a.txt"), self.content("b.txt")), (b"new a", b"new b"))

    def test_ask_takes_each_answer_and_all_at_once(self):
        code, err = self.extract(answers="y\nn\n")
        self.assertEqual(code, 0)
        self.assertIn("a.txt 파일이 이미 존재합니다, 겹쳐 쓰시겠습니까?", err)
        self.assertEqual((self.content("a.txt"), self.content("b.txt")), (b"new a", b"old"))
        code, err = self.extract(answers="Y\n")
        self.assertEqual(err.count("겹쳐 쓰시겠습니까?"), 1)
        self.assertEqual(self.content("b.txt"), b"new b")


class PasswordTest(ToolTestCase):
    # The traditional cipher takes code page 949 bytes where they exist,
    # otherwise UTF-8; AES always UTF-8. Extraction tries each.
    def test_passwords_open_what_they_closed(self):
        source = self.tree({"secret.txt": b"hidden"}, name="src")
        for i, (password, encryption) in enumerate(((PASSWORD, "zipcrypto"), ("암호😀", "zipcrypto"),
                                                    ("암호😀", "aes256"))):
            with self.subTest(password=password, encryption=encryption):
                self.build(source, "--password", password, "--encryption", encryption)
                run("extract", self.path("out.exe"), "-d", self.path(str(i)), "--password", password, "-q")
                self.assertEqual(tree_contents(self.path(str(i))), {"src/": None, "src/secret.txt": b"hidden"})

    def test_a_password_longer_than_the_box_is_refused(self):
        result = run("extract", self.path("any.exe"), "--password", "가" * 78 + "😀", check=False)
        self.assertEqual(result.returncode, 2)
        self.assertIn("the password is too long: 80 characters", result.err)

    def test_wrong_password_extracts_nothing_and_says_so(self):
        self.build(self.tree({"secret.txt": b"hidden"}, name="src"), "--password", PASSWORD)
        target = self.path("target")
        os.mkdir(target)
        result = run("extract", self.path("out.exe"), "-d", target, "--password", "틀림", check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("password", result.err)
        self.assertIn("src/secret.txt", result.err)
        self.assertFalse(os.path.exists(os.path.join(target, "src", "secret.txt")))


class DamagedFileTest(ToolTestCase):
    def combined(self, archive, block=None):
        with open(STUB, "rb") as f:
            data = f.read()
        data += block or b""
        with open(self.path("odd.exe"), "wb") as f:
            f.write(data + archive)
        return self.path("odd.exe")

    def test_cut_file_fails_the_size_check(self):
        data = self.build(self.tree())
        with open(self.path("cut.exe"), "wb") as f:
            f.write(data[:-10])
        target = self.path("target")
        os.mkdir(target)
        result = run("extract", self.path("cut.exe"), "-d", target, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("파일 크기가 틀립니다", result.err)
        self.assertEqual(os.listdir(target), [])

    def test_names_leaving_the_target_are_refused(self):
        archive = write_zip(self.path("evil.zip"), [("../escaped.txt", b"outside"), ("inside.txt", b"inside")])
        with open(archive, "rb") as f:
            exe = self.combined(f.read())
        target = self.path("deep", "target")
        os.makedirs(target)
        result = run("extract", exe, "-d", target, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("적절하지 않은 파일 이름입니다.: ../escaped.txt", result.err)
        self.assertFalse(os.path.exists(self.path("deep", "escaped.txt")))
        with open(os.path.join(target, "inside.txt"), "rb") as f:
            self.assertEqual(f.read(), b"inside")

    # Member paths past MAX_PATH come out whole; a ".." deep in a long name is
    # refused as any other; a part of 255 Korean characters, 765 bytes in
    # UTF-8, more than Linux takes, fails with a reason.
    def test_long_paths(self):
        files = {deep_name(300): b"300", deep_name(1000): b"1000"}
        self.build(self.tree(files, name="t") + "/")
        run("extract", self.path("out.exe"), "-d", self.path("long"), "-q")
        self.assertEqual({k: v for k, v in tree_contents(self.path("long")).items() if v is not None}, files)
        cases = [(deep_name(600) + "/../x.txt", "적절하지 않은 파일 이름입니다."),
                 ("가" * 255 + "/x.txt", "the path is longer than this system takes")]
        for name, message in cases:
            with self.subTest(name[-12:]):
                with open(write_zip(self.path("l.zip"), [(name, b"x")]), "rb") as f:
                    exe = self.combined(f.read())
                result = run("extract", exe, "-d", self.path("refused"), check=False)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.err)
                self.assertEqual(os.listdir(self.path("refused")), [])

    def test_file_without_members_is_refused(self):
        result = run("extract", self.combined(b"not an archive at all"), "-d", self.work, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("holds no member", result.err)


class RealArchivesTest(ToolTestCase):
    """Archives of other tools appended by `doromi build --zip`, extracted
    natively as the stub would."""

    def zip_of(self, members):
        run("build", "-o", self.path("real.exe"), "--zip", write_zip(self.path("real.zip"), members))
        return self.path("real.exe")

    def test_utf8_names_case_twins_and_duplicates_all_come_out(self):
        exe = self.zip_of([("한글 폴더/문서.txt", b"doc"), ("xt_MARK.h", b"upper"), ("a.txt", b"first"),
                           ("xt_mark.h", b"lower"), ("a.txt", b"second")])
        target = self.path("new", "deeper")  # made with its parents
        result = run("extract", exe, "-d", target, "--overwrite", "overwrite", "-q")
        self.assertEqual(result.returncode, 0, result.err)
        self.assertEqual(tree_contents(target), {"한글 폴더/": None, "한글 폴더/문서.txt": b"doc",
                                                 "xt_MARK.h": b"upper", "xt_mark.h": b"lower",
                                                 "a.txt": b"second"})

    # Names without a UTF-8 mark are read one way for the whole archive:
    # UTF-8 when every one is UTF-8 and one at least is not code page 949;
    # code page 949 otherwise, even where a name is also valid UTF-8
    # ("책" is "å" there, "체크" "üũ", "째" "°").
    def test_unmarked_names_are_read_as_the_whole_archive_says(self):
        for encoding, names in (("utf-8", ["한글 문서.txt", "책.txt"]), ("cp949", ["책.txt"]),
                                ("cp949", ["체크.txt", "째.txt"])):
            with self.subTest(encoding=encoding, names=names):
                exe = self.zip_of([(name.encode(encoding), name.encode()) for name in names])
                report = json.loads(run("info", "--json", exe).out)
                self.assertEqual([m["name"] for m in report["members"]], names)
                target = self.path("-".join(names))
                run("extract", exe, "-d", target, "-q")
                self.assertEqual(tree_contents(target), {name: name.encode() for name in names})

    def test_a_target_that_is_a_file_is_refused(self):
        exe = self.zip_of([("a.txt", b"a")])
        with open(self.path("plain"), "wb") as f:
            f.write(b"keep")
        result = run("extract", exe, "-d", self.path("plain"), check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("is not a directory", result.err)
        with open(self.path("plain"), "rb") as f:
            self.assertEqual(f.read(), b"keep")


class PlantedLinkTest(ToolTestCase):
    """Links already in the target lead nowhere: the members behind them
    fail, the links stay as they are, and nothing is written outside."""

    def test_links_in_the_target_are_not_followed(self):
        files = {"dir/in.txt": b"through a folder link", "file.txt": b"onto a file link",
                 "dangling.txt": b"onto a dangling link", "plain.txt": b"ordinary"}
        self.build(self.tree(files, name="t") + "/")
        outside = self.path("outside")
        os.makedirs(outside)
        with open(os.path.join(outside, "victim.txt"), "wb") as f:
            f.write(b"untouched")
        links = {"dir": outside, "file.txt": os.path.join(outside, "victim.txt"),
                 "dangling.txt": os.path.join(outside, "new.txt")}
        for policy in ("overwrite", "skip", "ask"):
            with self.subTest(policy=policy):
                target = self.path("target-" + policy)
                os.makedirs(target)
                for name, points_to in links.items():
                    os.symlink(points_to, os.path.join(target, name))
                result = run("extract", self.path("out.exe"), "-d", target, "--overwrite", policy, "-q",
                             check=False)
                self.assertEqual(sorted(os.listdir(outside)), ["victim.txt"])
                with open(os.path.join(outside, "victim.txt"), "rb") as f:
                    self.assertEqual(f.read(), b"untouched")
                for name, points_to in links.items():
                    self.assertEqual(os.readlink(os.path.join(target, name)), points_to)
                with open(os.path.join(target, "plain.txt"), "rb") as f:
                    self.assertEqual(f.read(), b"ordinary")
                self.assertEqual(result.returncode, 1, result.err)
                self.assertIn("a symbolic link is in the way", result.err)
