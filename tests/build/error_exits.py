"""The decoder's error exits, found in its source, and whether a run took them.

An error exit is a `return` of kDataError or an assignment of it to a
status (`status = ... kDataError ...`, also as an arm of `?:`) in the
statement that holds it. They are
found by reading the source, so an exit added later is checked too; a
comparison with kDataError is no exit. Whether an exit was taken is read
from clang's source-based coverage (`llvm-cov export -format=text`): the
count of the region that holds the kDataError, which for `if (...) return
kDataError;` or a `?:` arm is that branch's own count.

  python3 tests/build/error_exits.py COVERAGE_JSON DIR...
prints every exit with its count and exits non-zero when one went untaken.
"""
import json
import pathlib
import re
import sys

TOKEN = re.compile(r"\bkDataError\b")
RETURN = re.compile(r"\breturn\b")
ASSIGNMENT = re.compile(r"\bstatus\s*=(?!=)", re.I)


def without_comments(text):
    """The text with comments and string literals blanked out, positions kept."""
    def blank(match):
        return re.sub(r"[^\n]", " ", match.group(0))
    return re.sub(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"', blank, text, flags=re.S)


def find_exits(text):
    """(line, column) of each error exit in C++ source `text`, both from 1."""
    code = without_comments(text)
    exits = []
    for match in TOKEN.finditer(code):
        start = max(code.rfind(c, 0, match.start()) for c in ";{}") + 1
        before = code[start:match.start()]
        if RETURN.search(before) or ASSIGNMENT.search(before):
            line = code.count("\n", 0, match.start()) + 1
            column = match.start() - (code.rfind("\n", 0, match.start()) + 1) + 1
            exits.append((line, column))
    return exits


def count_at(segments, line, column):
    """The execution count of the region at (line, column); None where none is counted."""
    found = None
    for segment in segments:
        if (segment[0], segment[1]) > (line, column):
            break
        found = segment
    if found is None or not found[3]:
        return None
    return found[2]


def segments_by_file(coverage):
    files = {}
    for data in coverage["data"]:
        for entry in data["files"]:
            files[pathlib.Path(entry["filename"]).resolve()] = entry["segments"]
    return files


def main(arguments):
    coverage = json.loads(pathlib.Path(arguments[0]).read_text())
    files = segments_by_file(coverage)
    untaken = 0
    total = 0
    for folder in arguments[1:]:
        for source in sorted(pathlib.Path(folder).glob("*.[ch]*")):
            text = source.read_text()
            lines = text.splitlines()
            segments = files.get(source.resolve())
            for line, column in find_exits(text):
                total += 1
                count = count_at(segments, line, column) if segments else None
                mark = "UNTAKEN" if not count else f"{count:7d}"
                if not count:
                    untaken += 1
                print(f"{mark:>8}  {source}:{line}: {lines[line - 1].strip()}")
    print(f"{total} error exits, {untaken} untaken")
    return 1 if untaken or total == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
