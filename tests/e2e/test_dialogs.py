"""The main dialog, the overwrite question and the password prompt, used
as a person would: Start, answers, check boxes, retries; and what each
settings flag does to the dialog."""
import os
import subprocess

from combined import settings_block, with_wrong_crc, wrong_passwords, write_combined, zip_archive
from fixed_values import (IDC_ABOUT, IDC_ASK, IDC_CLOSE, IDC_EXISTS_QUESTION, IDC_EXTRACT_DIR,
                          IDC_MEMBER_LIST, IDC_MEMBER_LIST_FIXED, IDC_NEVER_ASK_AGAIN, IDC_OVERWRITE,
                          IDC_OVERWRITE_GROUP, IDC_PASSWORD, IDC_SKIP, IDC_START, IDCANCEL, IDOK)
from harness import StubTestCase, child, message_box_text, wait_exit, windows_path

MAIN_TITLE = "도로미 자동풀림 압축파일 "
QUESTION_TITLE = "겹쳐 쓰기 확인"
FILE_EXISTS = "파일이 이미 존재합니다, 겹쳐 쓰시겠습니까?"
PASSWORD_TITLE = "암호를 입력하세요"
FINISHED = "Finished."
ABOUT_CAPTION = "도로미 자동풀림에 대하여..."
ALL_EXTRACTED = "모든 파일을 압축을 풀었습니다."
ERROR_CAPTION = "오류"
SOME_NOT_EXTRACTED = "선택된 파일은 압축을 풀 수 없습니다."
CHOICES = 0x03
HIDE_OVERWRITE = 0x04
OVERWRITE_DEFAULT = 0x08
AUTO_START = 0x40


class DialogTestCase(StubTestCase):
    """Helpers for cases that run the stub on an archive into a target."""

    def setUp(self):
        super().setUp()
        self.make_case_folder()

    def start(self, archive, flags=CHOICES, default_dir=True):
        block = settings_block(flags, default_dir=windows_path(self.target) if default_dir else "")
        exe = write_combined(os.path.join(self.case, "combined.exe"), block=block, archive=archive)
        self.process = self.session.start(exe, cwd=self.case)

    def main_dialog(self):
        return self.session.wait_for_window(MAIN_TITLE)

    def existing(self, name, data=b"old"):
        with open(os.path.join(self.target, name), "wb") as f:
            f.write(data)

    def content(self, name):
        with open(os.path.join(self.target, name), "rb") as f:
            return f.read()

    def answer_box(self, caption, text):
        """Presses OK on the box `caption` once it shows `text`."""
        box = self.session.wait_for_window(caption)
        self.assertEqual(message_box_text(box), text)
        self.session.press(box["hwnd"], IDOK)
        self.session.wait_gone(box["hwnd"])

    def finish(self, *boxes):
        """Answers the message boxes (caption, text) in turn, then the pass's
        closing "not everything" box; returns the main dialog as dumped
        while that box was up (the pass puts its verdict into the title
        too). The automatic start then ends the stub."""
        for caption, text in boxes:
            self.answer_box(caption, text)
        main = self.session.wait_for_window(SOME_NOT_EXTRACTED)
        self.answer_box(ERROR_CAPTION, SOME_NOT_EXTRACTED)
        self.assertEqual(wait_exit(self.process, timeout=60), 0)
        return main

    def answer_question(self, expected_name, button, never_ask_again=False):
        question = self.session.wait_for_window(QUESTION_TITLE)
        self.assertEqual(child(question, IDC_EXISTS_QUESTION)["text"], expected_name + FILE_EXISTS)
        if never_ask_again:
            self.session.driver("check", question["hwnd"], IDC_NEVER_ASK_AGAIN, 1)
        self.session.press(question["hwnd"], button)
        self.session.wait_gone(question["hwnd"])

    def dialogs_once_handled(self, dialog):
        """The titles of the top-level dialogs once the stub has handled every
        command posted to it so far. About, posted to the main dialog after
        them, is handled after them (inside the modal loop of any box or
        prompt they left open), so while its box is up every window they
        opened is up too. The about box is closed again."""
        self.session.press(dialog["hwnd"], IDC_ABOUT)
        about = self.session.wait_for_window(ABOUT_CAPTION)
        titles = [w["text"] for w in self.session.top_level_dialogs()]
        self.session.press(about["hwnd"], IDOK)
        self.session.wait_gone(about["hwnd"])
        titles.remove(ABOUT_CAPTION)
        return titles



class DialogTest(DialogTestCase):
    session_name = "dialogs"

    # -- the overwrite question -------------------------------------------
    def test_each_answer_to_the_overwrite_question(self):
        self.start(zip_archive({"one.txt": b"new1", "two.txt": b"new2", "three.txt": b"new3"}))
        for name in ("one.txt", "two.txt", "three.txt"):
            self.existing(name)
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_question("one.txt", IDOK)  # 예
        self.session.screenshot("overwrite-question")
        self.answer_question("two.txt", IDCANCEL)  # 아니오, as Esc and the close box
        self.answer_question("three.txt", IDOK, never_ask_again=True)
        main = self.session.dump(dialog["hwnd"])
        self.assertEqual((child(main, IDC_OVERWRITE)["checked"], child(main, IDC_ASK)["checked"]), (1, 0))
        self.answer_box(FINISHED, ALL_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual([self.content(n) for n in ("one.txt", "two.txt", "three.txt")],
                         [b"new1", b"old", b"new3"])

    def test_never_ask_again_with_no_keeps_every_later_file(self):
        self.start(zip_archive({"one.txt": b"new1", "two.txt": b"new2"}))
        self.existing("one.txt")
        self.existing("two.txt")
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_question("one.txt", IDCANCEL, never_ask_again=True)
        self.answer_box(FINISHED, ALL_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual((self.content("one.txt"), self.content("two.txt")), (b"old", b"old"))

    # -- the password prompt ----------------------------------------------
    def encrypted_archive(self, password, files):
        source = os.path.join(self.case, "source")
        for name, data in files.items():
            os.makedirs(source, exist_ok=True)
            with open(os.path.join(source, name), "wb") as f:
                f.write(data)
        archive = os.path.join(self.case, "locked.zip")
        subprocess.run(["zip", "-q", "-X", "-P", password, archive, *files], cwd=source, check=True)
        with open(archive, "rb") as f:
            return f.read()

    def test_password_asked_once_for_two_members_and_cut_to_79(self):
        password = "".join(chr(ord("a") + i % 26) for i in range(79))
        archive = self.encrypted_archive(password, {"a.txt": b"first", "b.txt": b"second"})
        wrong, = wrong_passwords(archive, 1)
        self.start(archive)
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_START)
        prompt = self.session.wait_for_window(PASSWORD_TITLE)
        self.session.screenshot("password-prompt")
        self.session.press(prompt["hwnd"], IDCANCEL)  # Esc is ignored
        self.assertIn(PASSWORD_TITLE, self.dialogs_once_handled(dialog))
        self.session.set_text(prompt["hwnd"], IDC_PASSWORD, wrong)
        self.session.press(prompt["hwnd"], IDOK)
        self.session.wait_gone(prompt["hwnd"])
        prompt = self.session.wait_for_window(PASSWORD_TITLE)
        self.session.set_text(prompt["hwnd"], IDC_PASSWORD, password + "EXTRA!")  # 85 characters
        self.session.press(prompt["hwnd"], IDOK)
        self.answer_box(FINISHED, ALL_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual((self.content("a.txt"), self.content("b.txt")), (b"first", b"second"))

    def test_three_wrong_passwords_end_the_pass_without_a_word(self):
        archive = self.encrypted_archive("right", {"locked.txt": b"x"})
        self.start(archive)
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_START)
        for wrong in wrong_passwords(archive, 3):
            prompt = self.session.wait_for_window(PASSWORD_TITLE)
            self.session.set_text(prompt["hwnd"], IDC_PASSWORD, wrong)
            self.session.press(prompt["hwnd"], IDOK)
            self.session.wait_gone(prompt["hwnd"])
        self.assertEqual(self.dialogs_once_handled(dialog), [MAIN_TITLE])
        self.assertEqual(child(self.session.dump(dialog["hwnd"]), IDC_MEMBER_LIST)["selected"], [0])
        self.assertFalse(os.path.exists(os.path.join(self.target, "locked.txt")))
        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(self.process), 0)

    # -- settings flags as the dialog shows them ---------------------------
    def test_hidden_overwrite_choice_overwrites_without_asking(self):
        self.start(zip_archive({"a.txt": b"new"}), flags=CHOICES | HIDE_OVERWRITE | OVERWRITE_DEFAULT)
        self.existing("a.txt")
        dialog = self.main_dialog()
        ids = [c["id"] for c in dialog["children"]]
        for gone in (IDC_OVERWRITE, IDC_SKIP, IDC_ASK, IDC_OVERWRITE_GROUP):
            self.assertNotIn(gone, ids)
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_box(FINISHED, ALL_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual(self.content("a.txt"), b"new")

    def test_without_member_choice_the_inert_list_gives_way_to_all_members(self):
        self.start(zip_archive({"a.txt": b"a", "b.txt": b"b"}), flags=0x01)
        dialog = self.main_dialog()
        self.assertFalse(child(dialog, IDC_MEMBER_LIST)["visible"])
        self.assertTrue(child(dialog, IDC_MEMBER_LIST_FIXED)["visible"])
        self.assertEqual((child(dialog, IDC_MEMBER_LIST_FIXED)["items"], child(dialog, IDC_MEMBER_LIST_FIXED)["selected"]), (["a.txt", "b.txt"], []))
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_box(FINISHED, ALL_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual((self.content("a.txt"), self.content("b.txt")), (b"a", b"b"))

    def test_automatic_start_with_a_failing_member_reports_and_closes(self):
        archive = with_wrong_crc(zip_archive({"good.txt": b"g", "bad.txt": b"b"}), "bad.txt")
        self.start(archive, flags=CHOICES | AUTO_START)
        self.answer_box(ERROR_CAPTION, SOME_NOT_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual(self.content("good.txt"), b"g")

    # -- Start ---------------------------------------------------------------
    def test_failed_member_stays_selected_and_a_second_start_retries_it_alone(self):
        archive = with_wrong_crc(zip_archive({"bad.txt": b"b", "good.txt": b"g"}), "bad.txt")
        self.start(archive, flags=CHOICES | OVERWRITE_DEFAULT)
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_box(ERROR_CAPTION, SOME_NOT_EXTRACTED)
        self.assertEqual(child(self.session.dump(dialog["hwnd"]), IDC_MEMBER_LIST)["selected"], [0])  # bad.txt
        os.remove(os.path.join(self.target, "good.txt"))
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_box(ERROR_CAPTION, SOME_NOT_EXTRACTED)
        self.assertFalse(os.path.exists(os.path.join(self.target, "good.txt")))
        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(self.process), 0)

    def test_start_with_nothing_selected_does_nothing(self):
        self.start(zip_archive({"a.txt": b"a"}))
        dialog = self.main_dialog()
        self.session.driver("select", dialog["hwnd"], IDC_MEMBER_LIST, -1, 0)
        self.session.press(dialog["hwnd"], IDC_START)
        self.assertEqual(self.dialogs_once_handled(dialog), [MAIN_TITLE])
        self.assertFalse(os.path.exists(os.path.join(self.target, "a.txt")))
        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(self.process), 0)

    def test_empty_edit_means_the_current_directory(self):
        self.start(zip_archive({"a.txt": b"here"}), default_dir=False)
        dialog = self.main_dialog()
        self.session.set_text(dialog["hwnd"], IDC_EXTRACT_DIR, "")
        self.session.press(dialog["hwnd"], IDC_START)
        finished = self.session.wait_for_window(FINISHED)
        self.assertEqual(child(self.session.dump(dialog["hwnd"]), IDC_EXTRACT_DIR)["text"], windows_path(self.case))
        self.session.press(finished["hwnd"], IDOK)
        self.assertEqual(wait_exit(self.process), 0)
        with open(os.path.join(self.case, "a.txt"), "rb") as f:
            self.assertEqual(f.read(), b"here")

    def test_typed_directory_with_a_trailing_separator(self):
        self.start(zip_archive({"sub/a.txt": b"typed"}), default_dir=False)
        dialog = self.main_dialog()
        self.session.set_text(dialog["hwnd"], IDC_EXTRACT_DIR, windows_path(self.target) + "\\")
        self.session.press(dialog["hwnd"], IDC_START)
        self.answer_box(FINISHED, ALL_EXTRACTED)
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual(self.content("sub/a.txt"), b"typed")


class ProgressAndAboutTest(DialogTestCase):
    session_name = "dialogs-progress"

    def test_title_bar_shows_the_member_being_written_and_comes_back(self):
        archive = with_wrong_crc(zip_archive({"a.txt": b"new", "b.txt": b"new", "c.txt": b"c"}), "c.txt")
        self.start(archive)
        self.existing("b.txt")
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_START)
        self.session.wait_for_window(QUESTION_TITLE)
        during = self.session.dump(dialog["hwnd"])
        self.session.screenshot("progress-in-title")
        self.assertEqual(during["text"], "압축 풀기: " + windows_path(self.target) + "\\a.txt")
        self.answer_question("b.txt", IDCANCEL)
        self.answer_box(ERROR_CAPTION, SOME_NOT_EXTRACTED)
        self.assertEqual(self.session.dump(dialog["hwnd"])["text"], MAIN_TITLE)
        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(self.process), 0)

    def test_about_box_belongs_to_the_dialog(self):
        self.start(zip_archive({"a.txt": b"a"}))
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], IDC_ABOUT)
        box = self.session.wait_for_window(ABOUT_CAPTION)
        self.session.screenshot("about-box")
        self.assertEqual(box["owner"], dialog["hwnd"])
        self.assertIn("도로미", message_box_text(box))
        self.session.press(box["hwnd"], IDOK)
        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(self.process), 0)
