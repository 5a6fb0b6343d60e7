#!/usr/bin/python3
"""The panel's page files: each script parses (`node --check`), the page and the page as
it is served (index.html with its style and script files in place) parse as HTML with
every element closed in order, every file index.html names exists, and no id is given
twice in the markup.

usage: page_lint_test.py PAGE_DIR
"""
import html.parser
import os
import re
import shutil
import subprocess
import sys

VOID = {"meta", "link", "br", "hr", "img", "input", "source", "wbr", "area", "base", "col"}
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


class Tags(html.parser.HTMLParser):
    """Open elements as a stack: a close that is not the innermost one is a fault."""

    def __init__(self):
        super().__init__()
        self.open, self.faults, self.ids = [], [], []

    def handle_starttag(self, tag, attrs):
        self.ids += [v for k, v in attrs if k == "id"]
        if tag not in VOID:
            self.open.append((tag, self.getpos()))

    def handle_endtag(self, tag):
        if not self.open or self.open[-1][0] != tag:
            self.faults.append(f"</{tag}> at line {self.getpos()[0]}, open: {[t for t, _ in self.open[-3:]]}")
        else:
            self.open.pop()


def parse(name, text):
    p = Tags()
    p.feed(text)
    p.close()
    check(not p.faults and not p.open, f"{name}: elements closed in order {p.faults[:2]} {p.open[-2:]}")
    twice = sorted({i for i in p.ids if p.ids.count(i) > 1})
    check(not twice, f"{name}: ids given once {twice}")


def main():
    folder = sys.argv[1]
    index = open(os.path.join(folder, "index.html")).read()
    parse("index.html", index)
    page = index
    for mark, name in re.findall(r"(/\*@([a-z_]+\.(?:css|js))\*/)", index):
        path = os.path.join(folder, name)
        check(os.path.exists(path), f"index.html names {name}: it exists")
        if os.path.exists(path):
            page = page.replace(mark, open(path).read())
    parse("the page as served", page)
    scripts = sorted(f for f in os.listdir(folder) if f.endswith(".js"))
    if shutil.which("node") is None:
        print("skipped: node --check (no node; Debian: nodejs)")
    for f in scripts if shutil.which("node") else []:
        r = subprocess.run(["node", "--check", os.path.join(folder, f)], capture_output=True, text=True)
        check(r.returncode == 0, f"{f}: node --check {r.stderr.strip()[:200]}")
    print("FAILED: " + "; ".join(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
