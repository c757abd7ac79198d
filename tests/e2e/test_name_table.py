"""The shared table of member names (tests/data/member_names.tsv) in the
real stub: each of its archives, written with the table's raw name bytes,
flags and Unicode Path fields, extracted by itself under every code page
its rows name. A written name lands at exactly its path below the target,
a refused one shows exactly its text in a box, and nothing else is made."""
import os
import struct
import zlib
from itertools import groupby

from combined import settings_block, write_combined
from harness import LOCALES, ROOT, StubTestCase, tree, windows_path
from test_dialogs import AUTO_START, CHOICES, ERROR_CAPTION, OVERWRITE_DEFAULT, SOME_NOT_EXTRACTED
from test_names import BAD_NAME

TABLE = os.path.join(ROOT, "tests", "data", "member_names.tsv")
UNICODE_PATH = 0x7075


def load_table(path):
    """The table's archives in order, as (label, the code pages under which
    every row's outcome holds, rows); a row is (flags, name bytes, extra
    field bytes, outcome)."""
    rows = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) != 6:
                raise ValueError(f"{path}:{number}: {len(fields)} columns, not 6")
            label, pages, flags, name, field, outcome = fields
            if outcome[:1] not in ("=", "!"):
                raise ValueError(f"{path}:{number}: outcome {outcome!r}")
            name, extra = bytes.fromhex(name), b""
            if field != "-":
                crc = zlib.crc32(name) ^ (0xFFFFFFFF if field.startswith("~") else 0)
                body = struct.pack("<BI", 1, crc) + bytes.fromhex(field.lstrip("~"))
                extra = struct.pack("<HH", UNICODE_PATH, len(body)) + body
            rows.append((label, {int(page) for page in pages.split(",")}, (int(flags, 16), name, extra, outcome)))
    archives = []
    for label, group in groupby(rows, key=lambda row: row[0]):
        group = list(group)
        pages = set.intersection(*(pages for _, pages, _ in group))
        if not pages or not pages <= LOCALES.keys():
            raise ValueError(f"{path}: archive {label}: code pages {sorted(pages)}, common to its rows")
        archives.append((label, sorted(pages), [row for _, _, row in group]))
    return archives


def member_data(label, index):
    return f"{label} {index}\n".encode()


def raw_archive(label, rows):
    """A ZIP archive of stored members with exactly the rows' name bytes,
    flags and extra fields, in both headers; directories (a name ending in
    "/") are empty."""
    local, central = b"", b""
    for index, (flags, name, extra, _) in enumerate(rows):
        data = b"" if name.endswith(b"/") else member_data(label, index)
        sizes = struct.pack("<III", zlib.crc32(data), len(data), len(data))
        common = struct.pack("<HHHHH", 20, flags, 0, 0, 0x21) + sizes + struct.pack("<HH", len(name), len(extra))
        central += (struct.pack("<IH", 0x02014B50, 20) + common +
                    struct.pack("<HHHII", 0, 0, 0, 0x10 if name.endswith(b"/") else 0, len(local)) + name + extra)
        local += struct.pack("<I", 0x04034B50) + common + name + extra + data
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(rows), len(rows), len(central), len(local), 0)
    return local + central + end


def expected_outcome(label, rows):
    """The tree the target must hold afterwards (directories with "/",
    as `tree` gives them) and the boxes, in order, that an automatic start
    shows."""
    files, boxes = {}, []
    for index, (_, name, _, outcome) in enumerate(rows):
        if outcome.startswith("!"):
            boxes.append((BAD_NAME, outcome[1:]))
            continue
        path = outcome[1:]
        parts = path.rstrip("/").split("/")
        files.update(("/".join(parts[:depth]) + "/", None) for depth in range(1, len(parts)))
        files[path] = None if path.endswith("/") else member_data(label, index)
    # An automatic start that extracts everything ends without a word.
    return files, (boxes + [(ERROR_CAPTION, SOME_NOT_EXTRACTED)] if boxes else [])


class NameTableTest(StubTestCase):
    session_name = "name-table"
    maxDiff = None

    def test_every_archive_of_the_table_under_its_code_pages(self):
        for number, (label, pages, rows) in enumerate(load_table(TABLE)):
            archive = raw_archive(label, rows)
            files, boxes = expected_outcome(label, rows)
            for page in pages:
                with self.subTest(archive=label, code_page=page):
                    self.session.end_programs()  # a stub that a failed case left waiting
                    case = os.path.join(self.work, f"{number}-{page}")
                    target = os.path.join(case, "target")
                    os.makedirs(target)
                    block = settings_block(CHOICES | AUTO_START | OVERWRITE_DEFAULT, default_dir=windows_path(target))
                    exe = write_combined(os.path.join(case, "combined.exe"), block=block, archive=archive)
                    before = tree(self.work, directories=True).keys()
                    process = self.session.start(exe, cwd=case, locale=LOCALES[page])
                    seen = {"boxes": self.session.answer_boxes(process), "exit code": process.wait(),
                            "target": tree(target, directories=True)}
                    inside = os.path.relpath(target, self.work).replace(os.sep, "/") + "/"
                    made = tree(self.work, directories=True).keys() - before
                    seen["made outside"] = sorted(path for path in made if not path.startswith(inside))
                    self.assertEqual(seen, {"boxes": boxes, "exit code": 0, "target": files, "made outside": []})
