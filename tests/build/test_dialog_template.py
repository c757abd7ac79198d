"""The main dialog's template as built into the stub: ids, classes, texts,
positions, sizes and styles in template (tab) order. Wine changes some
styles of live controls, so the template is read from the image itself."""
import os
import re
import subprocess
import sys
import unittest

from stub_image import STUB, binutil

sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from fixed_values import (IDC_ABOUT, IDC_ASK, IDC_BASE_FOLDER, IDC_BROWSE, IDC_CLOSE,  # noqa: E402
                          IDC_DIR_LABEL, IDC_EXTRACT_DIR, IDC_MEMBER_LIST, IDC_MEMBER_LIST_FIXED,
                          IDC_NEW_DIR_NAME, IDC_OVERWRITE, IDC_OVERWRITE_GROUP, IDC_RUN_AFTER,
                          IDC_SKIP, IDC_START, IDCANCEL, IDOK)

WS_POPUP, WS_VISIBLE, WS_CHILD = 0x80000000, 0x10000000, 0x40000000
WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX = 0x00C00000, 0x00080000, 0x00020000
WS_BORDER, WS_VSCROLL, WS_TABSTOP, WS_GROUP = 0x00800000, 0x00200000, 0x00010000, 0x00020000
DS_MODALFRAME, DS_3DLOOK, DS_CENTER = 0x80, 0x04, 0x800
LIST_STYLE = 0x01 | 0x02 | 0x08 | 0x40 | 0x80 | WS_BORDER | WS_VSCROLL | WS_TABSTOP
BUTTON_KIND = 0x0F

# id, class, text, (x, y, w, h), style bits that must be set, button kind
MAIN_DIALOG = [
    (IDC_START, "BUTTON", "시작", (79, 148, 47, 16), WS_TABSTOP, 1),
    (IDC_EXTRACT_DIR, "EDIT", "", (6, 19, 152, 12), WS_BORDER | WS_TABSTOP | 0x40 | 0x80, None),
    (IDC_BROWSE, "BUTTON", "...", (161, 19, 15, 12), WS_TABSTOP, 0),
    (IDC_MEMBER_LIST, "LISTBOX", "", (5, 38, 170, 67), LIST_STYLE, None),
    (IDC_ASK, "BUTTON", "물어보기(&C)", (10, 124, 52, 10), WS_GROUP | WS_TABSTOP, 9),
    (IDC_OVERWRITE, "BUTTON", "겹쳐쓰기(&O)", (10, 150, 52, 10), 0, 9),
    (IDC_SKIP, "BUTTON", "겹쳐쓰지 않기(&D)", (10, 137, 60, 10), 0, 9),
    (IDC_RUN_AFTER, "BUTTON", "실행하기", (81, 114, 42, 10), WS_TABSTOP, 3),
    (IDC_CLOSE, "BUTTON", "닫기(&L)", (129, 148, 47, 16), WS_TABSTOP, 0),
    (IDC_DIR_LABEL, "STATIC", "압축 풀 디렉토리", (6, 6, 51, 8), 0, None),
    (IDC_ABOUT, "BUTTON", "도로미 자동풀림에 관하여...", (79, 128, 79, 16), WS_TABSTOP, 8),
    (IDC_OVERWRITE_GROUP, "BUTTON", "겹쳐쓰기 형식", (6, 111, 68, 55), 0, 7),
    (IDC_MEMBER_LIST_FIXED, "LISTBOX", "", (7, 39, 166, 65), LIST_STYLE, None),
]
# The new-subdirectory dialog; its two labels have no id of their own
# (0xFFFF), and only the first one starts a group.
NEW_DIR_DIALOG = [
    (0xFFFF, "STATIC", "현재 디렉토리", (4, 5, 42, 8), WS_GROUP, None),
    (IDC_BASE_FOLDER, "STATIC", "Text", (3, 16, 156, 15), WS_BORDER, None),
    (0xFFFF, "STATIC", "새로운 디렉토리", (4, 37, 49, 8), 0, None),
    (IDC_NEW_DIR_NAME, "EDIT", "", (3, 48, 156, 15), WS_BORDER | WS_TABSTOP | 0x40 | 0x80, None),
    (IDOK, "BUTTON", "확인", (51, 67, 50, 14), WS_TABSTOP, 1),
    (IDCANCEL, "BUTTON", "취소", (106, 67, 50, 14), WS_TABSTOP, 0),
]
KEYWORD_CLASS = {"DEFPUSHBUTTON": "BUTTON", "PUSHBUTTON": "BUTTON", "GROUPBOX": "BUTTON",
                 "EDITTEXT": "EDIT", "LISTBOX": "LISTBOX", "LTEXT": "STATIC"}


def decode(literal):
    """A windres string literal, "..." or L"..." with \\xNNNN escapes."""
    body = literal[2:-1] if literal.startswith("L") else literal[1:-1]
    return re.sub(r"\\x([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), body)


def parse_control(line):
    keyword, rest = line.split(None, 1)
    fields = [f.strip() for f in re.findall(r'L?"[^"]*"|[^,]+', rest)]
    if keyword == "CONTROL":  # text, id, class, style, x, y, w, h
        text, ident, cls, style = decode(fields[0]), int(fields[1]), decode(fields[2]), fields[3]
        rect = tuple(int(f) for f in fields[4:8])
    elif keyword in ("EDITTEXT", "LISTBOX"):  # id, x, y, w, h, style
        text, ident, cls = "", int(fields[0]), KEYWORD_CLASS[keyword]
        rect, style = tuple(int(f) for f in fields[1:5]), fields[5]
    else:  # text, id, x, y, w, h, style
        text, ident, cls = decode(fields[0]), int(fields[1]), KEYWORD_CLASS[keyword]
        rect, style = tuple(int(f) for f in fields[2:6]), fields[6]
    kind = {"DEFPUSHBUTTON": 1, "PUSHBUTTON": 0, "GROUPBOX": 7}.get(keyword)
    return ident, cls.upper(), text, rect, int(style, 0), kind


def dialog_template(name):
    rc = subprocess.run([binutil("windres"), "-i", STUB, "-O", "rc"], capture_output=True, text=True,
                        check=True).stdout
    block = rc[rc.index(f'"{name}" DIALOG'):]
    block = block[:block.index("\nEND")]
    header, body = block.split("\nBEGIN\n")
    return header, [parse_control(line.strip()) for line in body.splitlines() if line.strip()]


class MainDialogTemplateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.header, cls.controls = dialog_template("MAINDIALOG")

    def test_dialog_frame(self):
        self.assertIn('"MAINDIALOG" DIALOG 101, 74, 182, 172', self.header)
        style = int(re.search(r"STYLE (0x[0-9a-f]+)", self.header).group(1), 16)
        required = (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                    DS_MODALFRAME | DS_3DLOOK | DS_CENTER)
        self.assertEqual(style & required, required)
        caption = re.search(r"CAPTION (L?\"[^\"]*\")", self.header).group(1)
        self.assertEqual(decode(caption), "도로미 자동풀림 압축파일 ")
        font = re.search(r"FONT (\d+), (L?\"[^\"]*\")", self.header)
        self.assertEqual((int(font.group(1)), decode(font.group(2))), (10, "Malgun Gothic"))

    def test_controls_in_tab_order_with_texts_and_places(self):
        self.assertEqual([c[0] for c in self.controls], [c[0] for c in MAIN_DIALOG])
        for (ident, cls, text, rect, style, kind), expected in zip(self.controls, MAIN_DIALOG):
            _, want_cls, want_text, want_rect, want_bits, want_kind = expected
            with self.subTest(control=ident):
                self.assertEqual((cls, text, rect), (want_cls, want_text, want_rect))
                self.assertEqual(style & want_bits, want_bits, hex(style))
                self.assertTrue(style & WS_CHILD and style & WS_VISIBLE)
                if want_kind is not None:
                    self.assertEqual(style & BUTTON_KIND, want_kind, hex(style))


class NewDirDialogTemplateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.header, cls.controls = dialog_template("DLGNEW")

    def test_dialog_frame(self):
        self.assertIn('"DLGNEW" DIALOG 157, 71, 163, 83', self.header)
        style = int(re.search(r"STYLE (0x[0-9a-f]+)", self.header).group(1), 16)
        required = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_CENTER
        self.assertEqual(style & required, required)
        caption = re.search(r"CAPTION (L?\"[^\"]*\")", self.header).group(1)
        self.assertEqual(decode(caption), "하위 디렉토리 만들기")

    def test_controls_in_tab_order_with_texts_and_places(self):
        self.assertEqual([c[:4] for c in self.controls], [c[:4] for c in NEW_DIR_DIALOG])
        for control, expected in zip(self.controls, NEW_DIR_DIALOG):
            style, kind = control[4], control[5]
            with self.subTest(control=control[0]):
                self.assertEqual(style & expected[4], expected[4], hex(style))
                if expected[5] is not None:
                    self.assertEqual(style & BUTTON_KIND, expected[5], hex(style))


if __name__ == "__main__":
    unittest.main()
