"""Each command's options are one table in its source (tools/commands/),
and its help page (tools/help.txt, which also makes the manual page) must
tell the same story: every option of a table is on the command's page,
with a value there exactly when the table reads one, and every option the
page names is in the table. -h and --help are the parser's own."""
import pathlib
import re
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
COMMANDS = {"build": "kBuildOptions", "info": "kInfoOptions", "extract": "kExtractOptions"}
PARSER_OWN = {"-h", "--help"}
ROW = re.compile(r'^\s*\{"(--[a-z0-9-]+)", (?:"(-[a-z])"|nullptr), (true|false),', re.M)
OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*|-[a-z])(?![\w-])( [A-Z][A-Z0-9_.]*\b)?")


def table(command):
    """{option name: takes a value} of the command's table, short names included."""
    source = (ROOT / "tools" / "commands" / f"{command}_command.cpp").read_text(encoding="utf-8")
    body = re.search(COMMANDS[command] + r"\[\] = \{\n(.*?)\n\};", source, re.S).group(1)
    options = {}
    for name, short, value in ROW.findall(body):
        options[name] = value == "true"
        if short:
            options[short] = value == "true"
    return options


def help_page(command, text=None):
    """{option name: shown with a value} of the command's help page."""
    text = text if text is not None else (ROOT / "tools" / "help.txt").read_text(encoding="utf-8")
    page = re.search(rf"^@help {command}\n(.*?)(?=^@|\Z)", text, re.S | re.M).group(1)
    shown = {}
    for line in page.splitlines():
        for name, value in OPTION.findall(line):
            shown[name] = shown.get(name, False) or bool(value)
    # "-o, --output FILE": the short name takes the long one's value.
    for short, long in re.findall(r"(?<![\w-])(-[a-z]), (--[a-z0-9-]+)", page):
        shown[short] = shown[long]
    return shown


class OptionTableTest(unittest.TestCase):
    def test_tables_and_help_pages_agree(self):
        for command in COMMANDS:
            with self.subTest(command=command):
                options, shown = table(command), help_page(command)
                self.assertGreater(len(options), 2)
                self.assertEqual(sorted(set(options) - set(shown)), [], "in the table, not on the page")
                self.assertEqual(sorted(set(shown) - set(options) - PARSER_OWN), [], "on the page, not in the table")
                wrong = sorted(name for name in options if options[name] != shown[name])
                self.assertEqual(wrong, [], "a value in one and not in the other")

    def test_page_reading_finds_options_and_values(self):
        page = "@help x\nUsage: doromi x -o OUT.exe [--json]\n  -q, --quiet  no lines\n  --level N  a non-ASCII name\n@help y\n  --other\n"
        self.assertEqual(help_page("x", page), {"-o": True, "--json": False, "-q": False, "--quiet": False,
                                                 "--level": True})


if __name__ == "__main__":
    unittest.main()
