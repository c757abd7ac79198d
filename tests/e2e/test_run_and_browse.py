"""The run command after extraction, the folder browser with its added
new-folder button, and the new-subdirectory dialog, driven in the real stub.

The run command names a small program carried in the archive itself
(e2e-marker.exe); each start of it appends its current directory and its
arguments to ran.txt beside it."""
import io
import os
import time
import unittest
import zipfile

from combined import settings_block, with_wrong_crc, write_combined, zip_archive
from fixed_values import (IDC_BASE_FOLDER, IDC_BROWSE, IDC_EXTRACT_DIR, IDC_MEMBER_LIST, IDC_NEW_DIR_NAME,
                          IDC_NEW_FOLDER, IDC_RUN_AFTER)
from harness import PROGRAM_DIR, StubTestCase, browse_in, child, message_box_text, wait_exit, windows_path

MAIN_TITLE = "도로미 자동풀림 압축파일 "
FINISHED_CAPTION = "Finished."
ERROR_CAPTION = "오류"
CANNOT_OPEN_CAPTION = "파일을 열 수 없습니다."
DIRECTORY_ERROR = "디렉토리 오류..."
RUN_CHOICE_PREFIX = "압축 푼 후 실행 : "
BROWSER_CAPTION = "압축 풀 디렉토리 : "
BROWSER_TITLE = "압축 풀 디렉토리를 선택하세요."
NEW_FOLDER_TEXT = "새로 만들기..."
NEW_DIR_TITLE = "하위 디렉토리 만들기"
MY_COMPUTER = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}"  # a shell item without a path
SHOW_CHOICES = 0x03
MEMBER_CHOICE_ONLY = 0x02
NO_SIZE_CHECK = 0x20  # the broken archive keeps its central directory's old CRC
OK, CANCEL, START, CLOSE = 1, 2, 1, 2
EDIT, BROWSE, RUN_BOX, NEW_FOLDER = IDC_EXTRACT_DIR, IDC_BROWSE, IDC_RUN_AFTER, IDC_NEW_FOLDER
BASE_FOLDER, NEW_DIR_NAME = IDC_BASE_FOLDER, IDC_NEW_DIR_NAME
QUIET_WAIT = 3  # seconds a program that should not start is given to start anyway

with open(os.path.join(PROGRAM_DIR, "e2e-marker.exe"), "rb") as marker:
    MARKER_PROGRAM = marker.read()
MARKER_ARCHIVE = zip_archive({"tool/marker.exe": MARKER_PROGRAM, "readme.txt": b"read me\r\n" * 20})


def archive_with_a_broken_member():
    """The marker program intact, then a stored member whose recorded CRC
    does not match its data, so the pass cannot finish it."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr("tool/marker.exe", MARKER_PROGRAM, zipfile.ZIP_DEFLATED)
        archive.writestr("readme.txt", b"read me\r\n", zipfile.ZIP_STORED)
    return with_wrong_crc(buffer.getvalue(), "readme.txt")


def recorded_runs(tool_dir):
    """The marker's starts, each as (current directory, [arguments])."""
    path = os.path.join(tool_dir, "ran.txt")
    if not os.path.exists(path):
        return []
    runs, cwd, args = [], None, []
    with open(path, encoding="utf-8") as record:
        lines = record.read().splitlines()
    for line in lines:
        if line.startswith("cwd="):
            cwd, args = line[4:], []
        elif line.startswith("arg="):
            args.append(line[4:])
        elif line == "end":
            runs.append((cwd, args))
    return runs


class RunAfterExtractionTest(StubTestCase):
    session_name = "run-after-extraction"

    def setUp(self):
        super().setUp()
        self.make_case_folder()
        self.tool_dir = os.path.join(self.target, "tool")

    def start_stub(self, flags, run_command, archive=MARKER_ARCHIVE):
        block = settings_block(flags | NO_SIZE_CHECK, default_dir=windows_path(self.target),
                               run_command=run_command)
        exe = write_combined(os.path.join(self.case, "run.exe"), block=block, archive=archive)
        process = self.session.start(exe, cwd=self.case)
        return process, self.session.wait_for_window(MAIN_TITLE)

    def start_and_finish(self, process, dialog):
        self.session.press(dialog["hwnd"], START)
        notice = self.session.wait_for_window(FINISHED_CAPTION)
        self.session.press(notice["hwnd"], OK)
        self.assertEqual(wait_exit(process), 0)

    def wait_for_runs(self, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and not recorded_runs(self.tool_dir):
            time.sleep(0.2)
        time.sleep(1)  # a second start, if any, would be recorded by now too
        return recorded_runs(self.tool_dir)

    def assert_never_ran(self):
        self.assertTrue(os.path.exists(os.path.join(self.tool_dir, "marker.exe")))
        time.sleep(QUIET_WAIT)
        self.assertEqual(recorded_runs(self.tool_dir), [])

    def test_complete_extraction_runs_the_command_once_with_markers_expanded(self):
        process, dialog = self.start_stub(SHOW_CHOICES, "><tool\\marker.exe|/dir=>< /q")
        self.session.screenshot("run-choice")
        box = child(dialog, RUN_BOX)
        self.assertTrue(box["visible"])
        self.assertEqual(box["checked"], 1)
        self.assertEqual(box["text"], RUN_CHOICE_PREFIX + "marker.exe q")
        target = windows_path(self.target) + "\\"
        self.assertEqual(child(dialog, EDIT)["text"], target)
        self.start_and_finish(process, dialog)
        # The shell opens the program in the stub's own current directory.
        self.assertEqual(self.wait_for_runs(), [(windows_path(self.case), ["/dir=" + target, "/q"])])

    # A parameters piece that names an existing file is handed over in its
    # short form; the hidden check box stays ticked, so the command runs.
    def test_hidden_ticked_box_runs_and_an_existing_file_goes_as_its_short_form(self):
        process, dialog = self.start_stub(MEMBER_CHOICE_ONLY, "><tool\\marker.exe|><readme.txt")
        box = child(dialog, RUN_BOX)
        self.assertFalse(box["visible"])
        self.assertEqual(box["checked"], 1)
        self.start_and_finish(process, dialog)
        runs = self.wait_for_runs()
        long_form = windows_path(os.path.join(self.target, "readme.txt"))
        code, short_form = self.session.driver("shortpath", long_form)
        self.assertEqual(code, 0)
        short_form = short_form.strip().strip('"').replace("\\\\", "\\")
        self.assertLess(len(short_form), len(long_form))
        self.assertEqual([args for _, args in runs], [[short_form]])

    def test_failed_pass_runs_nothing_and_keeps_the_dialog(self):
        process, dialog = self.start_stub(SHOW_CHOICES, "><tool\\marker.exe",
                                          archive=archive_with_a_broken_member())
        self.session.press(dialog["hwnd"], START)
        box = self.session.wait_for_window(ERROR_CAPTION)
        self.session.press(box["hwnd"], OK)
        self.assert_never_ran()
        still_open = self.session.dump(dialog["hwnd"])
        members = child(still_open, IDC_MEMBER_LIST)
        self.assertEqual([members["items"][i] for i in members["selected"]], ["readme.txt"])
        self.session.press(dialog["hwnd"], CLOSE)
        self.assertEqual(wait_exit(process), 0)
        self.assertEqual(recorded_runs(self.tool_dir), [])

    def test_cleared_box_runs_nothing(self):
        process, dialog = self.start_stub(SHOW_CHOICES, "><tool\\marker.exe")
        self.assertEqual(self.session.driver("check", dialog["hwnd"], RUN_BOX, 0)[0], 0)
        self.start_and_finish(process, dialog)
        self.assert_never_ran()


class FolderBrowserTest(StubTestCase):
    session_name = "folder-browser"

    def setUp(self):
        super().setUp()
        self.make_case_folder()
        self.chosen = os.path.join(self.case, "chosen")
        os.makedirs(self.chosen)
        exe = write_combined(os.path.join(self.case, "plain.exe"),
                             archive=zip_archive({"readme.txt": b"hello\r\n"}))
        self.process = self.session.start(exe, cwd=self.case)
        self.main = self.session.wait_for_window(MAIN_TITLE)

    def open_browser(self):
        self.session.press(self.main["hwnd"], BROWSE)
        return self.session.wait_for_window(BROWSER_CAPTION)

    def browse_to(self, browser, path):
        """The browser's dump once its selection is `path`: the browser
        passed in, or one opened anew in its place (see browse_in)."""
        browser = browse_in(self.session, browser, path, self.open_browser)
        return self.session.dump(browser["hwnd"])

    def edit_text(self):
        return child(self.session.dump(self.main["hwnd"]), EDIT)["text"]

    def wait_until_gone(self, window):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if all(w["hwnd"] != window["hwnd"] for w in self.session.windows()):
                return
            time.sleep(0.2)
        self.fail(f"window {window['text']!r} is still open")

    def button_states(self, browser):
        return child(browser, OK)["enabled"], child(browser, NEW_FOLDER)["enabled"]

    # Empty target field, then Start: the pass uses the current directory,
    # so the files land where the browser and the dialog left it.
    def extract_into_current_directory(self):
        self.session.set_text(self.main["hwnd"], EDIT, "")
        self.session.press(self.main["hwnd"], START)
        notice = self.session.wait_for_window(FINISHED_CAPTION)
        self.session.press(notice["hwnd"], OK)
        self.assertEqual(wait_exit(self.process), 0)

    def test_new_folder_button_sits_beside_ok_and_follows_it(self):
        browser = self.open_browser()
        self.session.screenshot("browser-with-new-folder-button")
        self.assertIn(BROWSER_TITLE, [c["text"] for c in browser["children"]])
        new, ok = child(browser, NEW_FOLDER), child(browser, OK)
        self.assertEqual((new["text"], new["visible"], new["enabled"]), (NEW_FOLDER_TEXT, True, False))
        left, top, right, bottom = new["rect"]
        self.assertEqual((left, top, right - left, bottom), (ok["rect"][0] - 90, ok["rect"][1], 75,
                                                            ok["rect"][3]))
        browser = self.browse_to(browser, windows_path(self.chosen))
        self.assertEqual(self.button_states(browser), (True, True))
        browser = self.browse_to(browser, MY_COMPUTER)
        self.assertEqual(self.button_states(browser), (False, False))
        # Wine's browser does not find a folder of drive Z: again once the
        # selection has left it; a folder of drive C: serves here.
        self.assertEqual(self.button_states(self.browse_to(browser, "C:\\windows")), (True, True))

    def test_cancelled_browser_puts_the_target_back_into_the_field(self):
        self.session.set_text(self.main["hwnd"], EDIT, "C:\\typed\\elsewhere")
        browser = self.browse_to(self.open_browser(), windows_path(self.chosen))
        self.session.press(browser["hwnd"], CANCEL)
        self.wait_until_gone(browser)
        self.assertEqual(self.edit_text(), windows_path(self.case))
        self.extract_into_current_directory()
        self.assertTrue(os.path.exists(os.path.join(self.case, "readme.txt")))

    def test_ok_on_a_folder_fills_the_field_and_enters_the_folder(self):
        browser = self.browse_to(self.open_browser(), windows_path(self.chosen))
        self.session.press(browser["hwnd"], OK)
        self.wait_until_gone(browser)
        self.assertEqual(self.edit_text(), windows_path(self.chosen))
        self.assertEqual([w["text"] for w in self.session.top_level_dialogs()], [MAIN_TITLE])
        self.extract_into_current_directory()
        self.assertTrue(os.path.exists(os.path.join(self.chosen, "readme.txt")))

    def open_new_subdirectory_dialog(self, typed=None):
        """With `typed`, the target field holds it when each browser opens:
        cancelling a browser that Wine left stuck puts the field back."""
        def open_browser():
            if typed is not None:
                self.session.set_text(self.main["hwnd"], EDIT, typed)
            return self.open_browser()
        browser = browse_in(self.session, open_browser(), windows_path(self.chosen), open_browser)
        self.session.press(browser["hwnd"], NEW_FOLDER)
        return self.session.wait_for_window(NEW_DIR_TITLE)

    def assert_refused(self, dialog, name):
        self.session.set_text(dialog["hwnd"], NEW_DIR_NAME, name)
        self.session.press(dialog["hwnd"], OK)
        box = self.session.wait_for_window(ERROR_CAPTION)
        self.assertEqual(message_box_text(box), DIRECTORY_ERROR)
        self.assertEqual(box["owner"], dialog["hwnd"])
        self.session.press(box["hwnd"], OK)
        self.wait_until_gone(box)
        self.assertIn(NEW_DIR_TITLE, [w["text"] for w in self.session.top_level_dialogs()])

    def test_new_subdirectory_of_two_levels_extends_the_target_and_is_entered(self):
        with open(os.path.join(self.chosen, "taken"), "w") as f:
            f.write("a file, not a directory")
        dialog = self.open_new_subdirectory_dialog()
        self.session.screenshot("new-subdirectory-dialog")
        self.assertEqual(dialog["owner"], self.main["hwnd"])
        self.assertEqual(child(dialog, BASE_FOLDER)["text"], windows_path(self.chosen) + "\\")
        self.assert_refused(dialog, "taken")
        self.session.set_text(dialog["hwnd"], NEW_DIR_NAME, "a\\b")
        self.session.press(dialog["hwnd"], OK)
        self.wait_until_gone(dialog)
        self.assertEqual(self.edit_text(), windows_path(self.chosen) + "\\a\\b")
        self.assertEqual(sorted(os.listdir(self.chosen)), ["a", "taken"])
        self.extract_into_current_directory()
        self.assertEqual(os.listdir(os.path.join(self.chosen, "a", "b")), ["readme.txt"])

    def test_cancelled_new_subdirectory_dialog_leaves_the_typed_target(self):
        typed = windows_path(os.path.join(self.case, "typed"))
        dialog = self.open_new_subdirectory_dialog(typed)
        self.assert_refused(dialog, "x:y")
        self.session.press(dialog["hwnd"], CANCEL)
        self.wait_until_gone(dialog)
        self.assertEqual(self.edit_text(), typed)
        self.assertEqual(os.listdir(self.chosen), [])
        self.session.press(self.main["hwnd"], CLOSE)
        self.assertEqual(wait_exit(self.process), 0)


if __name__ == "__main__":
    unittest.main()
