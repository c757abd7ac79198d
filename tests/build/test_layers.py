"""The core's folders form a stack: a file includes only headers of its own
folder or of folders below it, and the four shared headers, which every
folder may take. The tool's folders form a stack of their own above the
whole core, so that nothing of the core includes the tool. Reads every
`#include "..."` of both and prints the folder-to-folder table; README.md
(Layout) states the same rule."""
import collections
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]

# From the top down. The system calls in platform/win32 and platform/posix
# implement the seam platform/platform.h for one front end each and may use
# util/'s text rules; the seam itself includes nothing of the core.
# The tool's folders come first: main and the command table at the top, the
# commands, then what they read, write and show, and what all of those use.
TOOL_STACK = ["tools", "tools/commands", "tools/input", "tools/zip_writer", "tools/output", "tools/common"]
STACK = TOOL_STACK + ["startup", "ui", "archive", "decode", "platform/system", "util", "platform"]
SHARED = {"startup/sfx_globals.h", "archive/zip_format.h", "ui/texts.h", "ui/control_ids.h"}
SOURCES = ("*.h", "*.cpp", "*.rc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The stack's folder of a path relative to the root, or None outside the core and the tool."""
    parts = pathlib.PurePosixPath(path).parts
    if len(parts) < 2 or parts[0] not in STACK:
        return None
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/system"
    if parts[0] == "tools" and len(parts) > 2:
        return "tools/" + parts[1]
    return parts[0]


def includes(root=ROOT):
    """(including file, included header) for every quoted include of the core and the tool."""
    found = []
    for top in {folder.split("/")[0] for folder in STACK}:
        for pattern in SOURCES:
            for source in sorted((root / top).rglob(pattern)):
                for header in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
                    if "/" not in header:  # beside the including file
                        header = str(source.parent.relative_to(root) / header)
                    found.append((str(source.relative_to(root)), header))
    return found


def upward(pairs):
    """The includes that go up the stack to a header that is not shared."""
    bad = []
    for source, header in pairs:
        source_folder, header_folder = folder_of(source), folder_of(header)
        if header_folder is None or header in SHARED:
            continue
        if STACK.index(header_folder) < STACK.index(source_folder):
            bad.append(f"{source} includes {header}")
    return bad


def table(pairs):
    """Rows include columns: 'n' includes of ordinary headers, '+s' of shared ones."""
    counts = collections.Counter()
    for source, header in pairs:
        to = folder_of(header)
        if to is not None:
            counts[folder_of(source), to, header in SHARED] += 1
    width = max(len(folder) for folder in STACK) + 1
    lines = ["".ljust(width) + "".join(folder.rjust(width) for folder in STACK)]
    for row in STACK:
        cells = []
        for column in STACK:
            plain, shared = counts[row, column, False], counts[row, column, True]
            cell = (str(plain) if plain else "") + (f"+{shared}" if shared else "")
            cells.append((cell or ".").rjust(width))
        lines.append(row.ljust(width) + "".join(cells))
    return "\n".join(lines)


class LayerTest(unittest.TestCase):
    def test_no_include_goes_up_the_stack(self):
        pairs = includes()
        print("\nIncludes, rows of columns (+ shared headers), the stack from the top:")
        print(table(pairs))
        self.assertGreater(len(pairs), 100)
        self.assertEqual(upward(pairs), [])

    def test_an_upward_include_is_found(self):
        cases = [
            ("decode/crc32.cpp", "archive/settings.h", True),
            ("platform/platform_x.cpp", "util/utf8.h", True),
            ("platform/posix/names.cpp", "util/utf8.h", False),
            ("util/text.cpp", "ui/texts.h", False),
            ("ui/main_dialog.cpp", "startup/sfx_main.h", True),
            ("startup/sfx_main.cpp", "ui/main_dialog.h", False),
            ("archive/settings.cpp", "archive/size_check.h", False),
            ("decode/inflate.cpp", "gtest/gtest.h", False),
            ("archive/extraction.cpp", "tools/common/text_encoding.h", True),
            ("util/utf8.cpp", "tools/zip_writer/byte_order.h", True),
            ("tools/common/text_encoding.cpp", "util/utf8.h", False),
            ("tools/commands/info_command.cpp", "tools/input/local_header_walk.h", False),
            ("tools/input/zip_input.cpp", "tools/zip_writer/zip_records.h", False),
            ("tools/zip_writer/zip_writer.cpp", "tools/input/input_files.h", True),
            ("tools/common/core_state.cpp", "tools/output/progress.h", True),
            ("tools/input/case_twins.cpp", "tools/commands/commands.h", True),
            ("tools/commands/build_command.cpp", "tools/doromi_main.h", True),
        ]
        for source, header, found in cases:
            with self.subTest(source=source, header=header):
                self.assertEqual(bool(upward([(source, header)])), found)


if __name__ == "__main__":
    unittest.main()
