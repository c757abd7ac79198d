"""The bare stub under Wine: its main dialog, its way out, and the message
it gives when its own file cannot be opened."""
import os
import shutil
import time
import unittest

from harness import STUB, StubTestCase, message_box_text, wait_exit, windows_path
from fixed_values import (IDC_ABOUT, IDC_ASK, IDC_BROWSE, IDC_CLOSE, IDC_DIR_LABEL,  # noqa: E402 (harness puts tests/ on the path)
                          IDC_EXTRACT_DIR, IDC_MEMBER_LIST, IDC_MEMBER_LIST_FIXED, IDC_OVERWRITE,
                          IDC_OVERWRITE_GROUP, IDC_RUN_AFTER, IDC_SKIP, IDC_START)

MAIN_TITLE = "도로미 자동풀림 압축파일 "
OPEN_FAILED = "압축파일을 읽는데 오류가 발생했습니다."
ERROR_CAPTION = "오류"

# Id, window class and text of every control of the main dialog, in
# template (tab) order.
MAIN_CONTROLS = [
    (IDC_START, "Button", "시작"),
    (IDC_EXTRACT_DIR, "Edit", None),
    (IDC_BROWSE, "Button", "..."),
    (IDC_MEMBER_LIST, "ListBox", ""),
    (IDC_ASK, "Button", "물어보기(&C)"),
    (IDC_OVERWRITE, "Button", "겹쳐쓰기(&O)"),
    (IDC_SKIP, "Button", "겹쳐쓰지 않기(&D)"),
    (IDC_RUN_AFTER, "Button", "실행하기"),
    (IDC_CLOSE, "Button", "닫기(&L)"),
    (IDC_DIR_LABEL, "Static", "압축 풀 디렉토리"),
    (IDC_ABOUT, "Button", "도로미 자동풀림에 관하여..."),
    (IDC_OVERWRITE_GROUP, "Button", "겹쳐쓰기 형식"),
    (IDC_MEMBER_LIST_FIXED, "ListBox", ""),
]


class StubStartupTest(StubTestCase):
    session_name = "startup"

    def copy_stub(self, name):
        path = os.path.join(self.work, name)
        shutil.copyfile(STUB, path)
        return path

    def test_bare_stub_shows_the_main_dialog_and_close_exits_with_zero(self):
        stub = self.copy_stub("bare.exe")
        process = self.session.start(stub, "ignored", "arguments", cwd=self.work)
        # Nothing is appended, so the listing finds no member and says so.
        box = self.session.wait_for_window(ERROR_CAPTION)
        self.session.screenshot("bare-stub-empty-listing")
        self.assertEqual(message_box_text(box), OPEN_FAILED)
        self.session.press(box["hwnd"], 1)
        dialog = self.session.wait_for_window(MAIN_TITLE)
        self.session.screenshot("bare-stub-main-dialog")

        self.assertEqual(bytes.fromhex(dialog["ansi"]), MAIN_TITLE.encode("cp949"))
        controls = [(c["id"], c["class"], c["text"]) for c in dialog["children"]]
        self.assertEqual([c[:2] for c in controls], [c[:2] for c in MAIN_CONTROLS])
        for (control_id, _, expected), control in zip(MAIN_CONTROLS, dialog["children"]):
            if expected is None:
                continue
            self.assertEqual(control["text"], expected, control_id)
            self.assertEqual(bytes.fromhex(control["ansi"]), expected.encode("cp949"), control_id)

        self.session.press(dialog["hwnd"], IDC_CLOSE)
        self.assertEqual(wait_exit(process), 0)
        self.assertEqual(self.session.top_level_dialogs(), [])

    def test_unopenable_file_gives_one_message_with_its_path_and_exits_with_zero(self):
        stub = self.copy_stub("held.exe")
        # The holder may read and rename the file and lets others only read,
        # so Windows can still load the image but the stub's own open, which
        # refuses to share write or delete access, fails.
        self.session.hold_file(stub, "delete", "share-read")

        process = self.session.start(stub, cwd=self.work)
        box = self.session.wait_for_window(OPEN_FAILED)
        self.session.screenshot("open-failure-message")
        self.assertEqual(message_box_text(box), windows_path(stub))
        self.assertEqual(bytes.fromhex(box["ansi"]), OPEN_FAILED.encode("cp949"))
        time.sleep(0.5)  # a second box or the main dialog would be up by now
        self.assertEqual([w["text"] for w in self.session.top_level_dialogs()], [OPEN_FAILED])

        self.session.press(box["hwnd"], 1)
        self.assertEqual(wait_exit(process), 0)


if __name__ == "__main__":
    unittest.main()
