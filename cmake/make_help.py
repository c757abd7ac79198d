"""Makes the doromi tool's help texts and its manual page from one source.

    make_help.py SOURCE VERSION OUTPUT_DIR

writes OUTPUT_DIR/help_texts.h (each "@help" page of SOURCE as a C string,
kDoromiHelp for the top level and kBuildHelp and so on for the commands, and
kDoromiVersion), OUTPUT_DIR/doromi.1 and OUTPUT_DIR/doromi.1.gz. SOURCE's
own comments describe its layout.
"""
import gzip
import itertools
import os
import re
import sys


def read_sections(path):
    """[(kind, name, lines)] for each "@help NAME" or "@man TITLE" section."""
    sections = []
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if line.startswith("@"):
                kind, _, name = line[1:].partition(" ")
                if kind not in ("help", "man") or not name:
                    sys.exit(f"{path}:{number}: expected @help NAME or @man TITLE")
                sections.append((kind, name, []))
            elif sections:
                sections[-1][2].append(line)
            elif line.strip():
                sys.exit(f"{path}:{number}: text before the first section")
    return [(kind, name, trimmed(lines)) for kind, name, lines in sections]


def trimmed(lines):
    while lines and not lines[-1].strip():
        lines.pop()
    return lines


def paragraphs(lines):
    block = []
    for line in lines + [""]:
        if line.strip():
            block.append(line)
        elif block:
            yield block
            block = []


# --- The help texts -------------------------------------------------------

def c_string(text):
    """A C string literal per line; bytes outside ASCII in octal, so that
    the compiler's execution character set cannot change them."""
    def escaped(line):
        out = ""
        for byte in line.encode("utf-8"):
            char = chr(byte)
            if char in '"\\':
                out += "\\" + char
            elif 0x20 <= byte < 0x7f:
                out += char
            else:
                out += "\\%03o" % byte
        return '"' + out + '\\n"'
    return "\n    ".join(escaped(line) for line in text.split("\n")[:-1])


def help_header(sections, version):
    out = ["// Made by cmake/make_help.py from tools/help.txt; edit that file instead.", "#pragma once", ""]
    out.append(f'inline constexpr char kDoromiVersion[] = "{version}";')
    for kind, name, lines in sections:
        if kind == "help":
            text = "\n".join(lines) + "\n"
            out.append(f"inline constexpr char k{name.capitalize()}Help[] =\n    {c_string(text)};")
    return "\n".join(out) + "\n"


# --- The manual page ------------------------------------------------------

OPTION = re.compile(r"(?<![\w-])--?\w[\w-]*")


def roff_text(text):
    """Running text: backslashes escaped, options with real minus signs and
    never hyphenated, `commands` in bold, no line taken for a request."""
    text = text.replace("\\", "\\e")
    text = OPTION.sub(lambda m: "\\%" + m.group(0).replace("-", "\\-"), text)
    text = re.sub(r"`([^`]*)`", r"\\fB\1\\fR", text)
    return "\\&" + text if text.startswith((".", "'")) else text


def roff_words(text, literal_words):
    """A synopsis or a list entry's term: what is typed as it is in bold,
    what stands for something (FILE, DIR, paths) in italics."""
    def word(token):
        lead, core, tail = re.fullmatch(r"([\[]*)(.*?)([\].,]*)", token).groups()
        if core.startswith("-") or core in literal_words:
            core = "\\fB" + roff_text(core) + "\\fR"
        elif core[:1].isupper() or "/" in core or "." in core:
            core = "\\fI" + roff_text(core) + "\\fR"
        else:
            core = roff_text(core)
        return lead + core + tail
    return " ".join(word(token) for token in text.split())


ENTRY = re.compile(r"  (\S.*?)(?: {2,}(.*))?$")


def roff_paragraph(block, literal_words):
    """One paragraph of a page: running text, then list entries or
    example command lines."""
    text = list(itertools.takewhile(lambda line: not line.startswith(("  ", "$ ")), block))
    rest = block[len(text):]
    out = [".PP"] + [roff_text(line) for line in text] if text else []
    if rest and rest[0].startswith("$ "):
        if not all(line.startswith("$ ") for line in rest):
            sys.exit(f"only example lines may follow an example line: {block!r}")
        return (out or [".PP"]) + [".RS 4", ".nf"] + [roff_text(line[2:]) for line in rest] + [".fi", ".RE"]
    in_entry = False
    for line in rest:
        if line.startswith("   ") and in_entry:
            out.append(roff_text(line.strip()))
        elif ENTRY.match(line):
            term, description = ENTRY.match(line).groups()
            out += [".TP", roff_words(term, literal_words)] + ([roff_text(description)] if description else [])
            in_entry = True
        else:
            sys.exit(f"expected a list entry or its continuation: {line!r}")
    return out


def is_usage(block):
    return block[0].startswith("Usage:")


def manual_page(sections, version):
    helps = [(name, lines) for kind, name, lines in sections if kind == "help"]
    literal_words = {"doromi"} | {name for name, _ in helps}
    (top_name, top_lines), commands = helps[0], helps[1:]

    def body(lines):
        return [roff for block in paragraphs(lines) if not is_usage(block)
                for roff in roff_paragraph(block, literal_words)]

    synopsis = [roff_words(line.removeprefix("Usage:").strip(), literal_words)
                for _, lines in helps for block in paragraphs(lines) if is_usage(block) for line in block]
    summary = top_lines[0].split(": ", 1)[1].rstrip(".")
    page = [f'.TH {top_name.upper()} 1 "" "{top_name} {version}" "User Commands"',
            ".SH NAME", f"{top_name} \\- {summary}",
            ".SH SYNOPSIS", "\n.br\n".join(synopsis),
            ".SH DESCRIPTION"] + body(top_lines)
    page.append(".SH COMMANDS")
    for name, lines in commands:
        page += [f".SS {top_name} {name}"] + body(lines)
    for kind, title, lines in sections:
        if kind == "man":
            page += [f".SH {title}"] + body(lines)
    return "\n".join(page) + "\n"


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def main():
    source, version, output_dir = sys.argv[1:]
    sections = read_sections(source)
    if not sections or sections[0][0] != "help":
        sys.exit(f"{source}: the top-level @help page comes first")
    os.makedirs(output_dir, exist_ok=True)
    write(os.path.join(output_dir, "help_texts.h"), help_header(sections, version).encode("ascii"))
    page = manual_page(sections, version).encode("utf-8")
    write(os.path.join(output_dir, "doromi.1"), page)
    # Compressed as Debian installs manual pages; no time stamp, so that
    # rebuilds are identical.
    write(os.path.join(output_dir, "doromi.1.gz"), gzip.compress(page, 9, mtime=0))


if __name__ == "__main__":
    main()
