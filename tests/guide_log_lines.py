#!/usr/bin/env python3
"""The user guides quote the program's log lines as the program writes them.

  tests/guide_log_lines.py [REPO]

Section 6 of each guide (docs/user/README-*.txt) explains the log line by
line. There, a line indented by two spaces, or by four for a report item, is
a log line as it appears in the result pane (less the two-space margin);
lines at the left margin are the guide's own text, and explanations are
indented further. Every such line must be one the program can write: it must
match one of the log formats, the u"..." literals under src/ that end a line
("\\r\\n"). A format's "(%s)" is the reason a move failed: it stands for each
reason text of the core's table (the u"..." literals of
src/reconcile/move_reasons.cpp), and each such line counts as a format of its
own. In a format, %d and %u stand for a number, which the guide may write as
digits or as one lower-case letter (a/b/c, n); %s for a name, which the guide
may write as a ‹placeholder› or as an example: one name without white space,
not starting like a heading or result line (■, →), and holding a '.', ':' or
'(' as file names, folder labels and ???(n) do. And every format must be
quoted somewhere in section 6 of each guide, so that no log line, and no
reason, goes unexplained.
The guides write a placeholder one way only, ‹…› (never <…>, anywhere), and
a preset's or an archive's file name with one wording each (PLACEHOLDERS), so
that a reader meets one term for one thing.
Prints what is wrong and exits non-zero if anything is.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent
GUIDES = ("README-en.txt", "README-ja.txt")

LITERAL = re.compile(r'(?<![A-Za-z0-9_])u"((?:[^"\\\n]|\\.)*)"')
ESCAPES = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\", '"': '"', "'": "'", "?": "?", "0": "\0"}
REASONS = pathlib.Path("src") / "reconcile" / "move_reasons.cpp"
NUMBER = r"(?:-?[0-9]+|[a-z])"
UNSIGNED = r"(?:[0-9]+|[a-z])"
NAME = r"(?:‹[^‹›]+›|(?=[^\s<>‹›]*[.:(])[^\s■→<>‹›][^\s<>‹›]*)"
# The one wording of each guide for the names a log line holds; any other
# placeholder that speaks of a preset or an archive is a second term.
PLACEHOLDERS = {
    "README-en.txt": {"‹preset file name›", "‹archive file name›"},
    "README-ja.txt": {"‹プリセットのファイル名›", "‹アーカイブのファイル名›"},
}
NAMED = re.compile(r"preset|archive|プリセット|アーカイブ")
OTHER_STYLE = re.compile(r"<[^<>\s][^<>]*>")


def unescape(text):
    return re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), "\\" + m.group(1)), text)


def literals(path):
    for match in LITERAL.finditer(path.read_text(encoding="utf-8")):
        yield unescape(match.group(1))


def log_formats():
    """Every log line format of the program, without its line end; a
    reason's "(%s)" given each reason text."""
    formats = set()
    for path in sorted((ROOT / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        for text in literals(path):
            if text.endswith("\r\n") and text != "\r\n":
                formats.add(text[:-2])
    reasons = list(literals(ROOT / REASONS))
    for fmt in [f for f in formats if "(%s)" in f]:
        formats.remove(fmt)
        formats.update(fmt.replace("(%s)", "(" + reason + ")") for reason in reasons)
    return formats, reasons


def pattern_of(fmt):
    parts = re.split(r"(%[sdu])", fmt)
    pieces = {"%d": NUMBER, "%u": UNSIGNED, "%s": NAME}
    body = "".join(pieces.get(p, re.escape(p)) for p in parts)
    return re.compile(body + r"\Z")


def quoted_lines(guide):
    """(line number, log line) for every log line section 6 of the guide quotes."""
    lines = guide.read_bytes().decode("utf-8-sig").replace("\r\n", "\n").split("\n")
    quoted = []
    inside = False
    for number, line in enumerate(lines, 1):
        if re.match(r"[0-9]+\. ", line):
            inside = line.startswith("6. ")
            continue
        if not inside:
            continue
        indent = len(line) - len(line.lstrip(" "))
        if indent in (2, 4) and line.strip():
            quoted.append((number, line[2:].rstrip(" ")))
    return quoted


def wording_problems(name, guide):
    """Placeholders written another way, or a preset or archive named by
    another term."""
    problems = []
    lines = guide.read_bytes().decode("utf-8-sig").replace("\r\n", "\n").split("\n")
    for number, line in enumerate(lines, 1):
        for other in OTHER_STYLE.findall(line):
            problems.append(f"{name}:{number}: write the placeholder {other!r} as ‹…›")
        for placeholder in re.findall(r"‹[^‹›]*›", line):
            if NAMED.search(placeholder) and placeholder not in PLACEHOLDERS[name]:
                wanted = " or ".join(sorted(PLACEHOLDERS[name]))
                problems.append(f"{name}:{number}: {placeholder} is not {wanted}")
    return problems


def main():
    formats, reasons = log_formats()
    problems = []
    if len(formats) < 10:
        problems.append(f"only {len(formats)} log formats found under {ROOT / 'src'}")
    if len(reasons) < 10:
        problems.append(f"only {len(reasons)} reasons found in {ROOT / REASONS}")
    patterns = {fmt: pattern_of(fmt) for fmt in formats}
    for name in GUIDES:
        guide = ROOT / "docs" / "user" / name
        quoted = quoted_lines(guide)
        if len(quoted) < 10:
            problems.append(f"{name}: only {len(quoted)} log lines found in section 6")
        used = set()
        for number, line in quoted:
            matching = [fmt for fmt, pattern in patterns.items() if pattern.match(line)]
            if not matching:
                problems.append(f"{name}:{number}: the program writes no such line: {line!r}")
            used.update(matching)
        for fmt in sorted(formats - used):
            problems.append(f"{name}: section 6 does not quote the log line {fmt!r}")
        problems.extend(wording_problems(name, guide))
    for problem in problems:
        print(f"guide_log_lines: {problem}")
    if problems:
        return 1
    print(f"guide_log_lines: ok ({len(formats)} formats, both guides)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
