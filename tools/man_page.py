#!/usr/bin/env python3
"""Makes docs/hdrmill.1 from docs/hdrmill.1.in and the README's tables, so that the
options, messages, statuses and findings are written once, in the README.

    tools/man_page.py           writes docs/hdrmill.1
    tools/man_page.py --check   exits 1 when docs/hdrmill.1 is not what it would write

The template names a table by a line "@TABLE heading@": the first table under the README
section of that heading becomes one .TP entry a row, its first cell the tag.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def roff_text(text):
    """Markdown inline text as roff: code spans bold, backslashes and hyphens escaped."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    text = re.sub(r"`([^`]*)`", lambda m: "\\fB" + m.group(1) + "\\fR", text)
    text = text.replace("&#124;", "|")
    return "\\&" + text if text[:1] in (".", "'") else text


def table_under(readme, heading):
    """The rows (lists of cells) of the first table under '## heading' or '### heading'."""
    lines = readme.splitlines()
    start = next((i for i, line in enumerate(lines) if re.fullmatch(r"#{2,3} " + re.escape(heading), line)), None)
    if start is None:
        sys.exit(f"man_page: the README has no section '{heading}'")
    rows = []
    for line in lines[start + 1:]:
        if line.startswith("#"):
            break
        if line.startswith("|"):
            rows.append([cell.strip() for cell in line.strip().strip("|").split(" | ")])
        elif rows:
            break
    if len(rows) < 3:
        sys.exit(f"man_page: no table under '{heading}'")
    return rows[2:]  # past the column names and the rule


def man_page():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    out = []
    for line in (ROOT / "docs" / "hdrmill.1.in").read_text(encoding="utf-8").splitlines():
        match = re.fullmatch(r"@TABLE (.+)@", line)
        if not match:
            out.append(line)
            continue
        for row in table_under(readme, match.group(1)):
            out += [".TP", roff_text(row[0]), roff_text(" ".join(row[1:]))]
    return "\n".join(out) + "\n"


def main():
    target = ROOT / "docs" / "hdrmill.1"
    text = man_page()
    if "--check" in sys.argv[1:]:
        if target.read_text(encoding="utf-8") != text:
            print("docs/hdrmill.1 is not made from the README's tables: run tools/man_page.py")
            return 1
        print("docs/hdrmill.1 is made from the README's tables")
        return 0
    target.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
