"""The Python programs of README.md and docs/python.md run as written and print what
the pages show; every relative link of README.md and the pages under docs/ reaches its
file and heading; docs/architecture.svg renders, and every file:function hop of
docs/architecture.md names a file that holds that function."""
import importlib.util
import os
import re
import shutil
import subprocess
import sys

import pytest

import korva3

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")


def run_shown_program(page, heading, shown):
    """Runs the first Python block after `heading` of `page`; returns what it printed and
    what the page says it prints (the group of the regular expression `shown`)."""
    text = open(os.path.join(ROOT, page)).read()
    section = text[text.index(heading):]
    program = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korva3.__file__)))
    run = subprocess.run([sys.executable, "-c", program], env=env, capture_output=True,
                         text=True, check=True)
    return run.stdout.strip(), re.search(shown, text).group(1)


def test_the_first_program_prints_what_the_page_says():
    printed, shown = run_shown_program("docs/python.md",
                                       "## A first program, on the virtual card",
                                       r"first_path\.py +# (card 0 at .*)")
    assert printed == shown


def test_the_readme_tour_program_prints_what_its_comment_says():
    printed, shown = run_shown_program("README.md", "### Python", r"# (the card took \d+ ms)")
    assert printed == shown


def test_the_docstring_examples_run():
    import doctest

    import korva3.sim
    assert doctest.testmod(korva3.sim).failed == 0


def anchors(path):
    """The anchors of a Markdown page's headings, as GitHub makes them."""
    found, fence = set(), False
    for line in open(path):
        fence ^= line.startswith("```")
        heading = re.match(r"#+ (.*)", line)
        if heading and not fence:
            slug = re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower()).replace(" ", "-")
            found.add(slug if slug not in found else slug + "-1")
    return found


def test_the_links_of_the_readme_and_docs_reach_a_file_and_heading():
    root = ROOT
    pages = [os.path.join(root, "README.md")] + [
        os.path.join(folder, name) for folder, _, names in os.walk(os.path.join(root, "docs"))
        for name in names if name.endswith(".md")]
    assert os.path.join(root, "docs", "decisions", "README.md") in pages
    broken = []
    for page in pages:
        text = re.sub(r"```.*?```", "", open(page).read(), flags=re.S)
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue
            file, _, anchor = target.partition("#")
            file = os.path.normpath(os.path.join(os.path.dirname(page), file)) if file else page
            if not os.path.exists(file) or (anchor and anchor not in anchors(file)):
                broken.append("%s: %s" % (os.path.relpath(page, root), target))
    assert broken == []


def read_png(path):
    """(width, height, rows of (r, g, b)): the PNG reader of the tool's own tests."""
    module = importlib.util.spec_from_file_location(
        "cli_test", os.path.join(ROOT, "tests", "tool", "cli_test.py"))
    cli_test = importlib.util.module_from_spec(module)
    module.loader.exec_module(cli_test)
    return cli_test.read_png(path)


# The fills of the picture's floors: front ends, programs, the public API, the library,
# the virtual machine.
FLOOR_FILLS = {"front ends": (0xFF, 0xF3, 0xE0), "programs": (0xF3, 0xE5, 0xF5),
               "include/": (0x26, 0x32, 0x38), "src/": (0xE3, 0xF2, 0xFD),
               "sim/": (0xE8, 0xF5, 0xE9)}


def test_the_architecture_picture_renders_with_every_floor(tmp_path):
    if not shutil.which("rsvg-convert"):
        pytest.skip("rsvg-convert not found (Debian: librsvg2-bin)")
    png = str(tmp_path / "architecture.png")
    subprocess.run(["rsvg-convert", "-w", "450", "-o", png,
                    os.path.join(ROOT, "docs", "architecture.svg")], check=True)
    width, height, rows = read_png(png)
    assert width == 450 and height > 300
    pixels = [p for row in rows for p in row]
    drawn = sum(1 for p in pixels if p != (255, 255, 255))
    assert drawn > 0.3 * len(pixels), "the picture is mostly blank"
    for floor, fill in FLOOR_FILLS.items():
        assert pixels.count(fill) > 0.005 * len(pixels), floor + " is not drawn"


# A hop of a route: "12. `planner/slicer.cpp` `Slicer::next`: what happens there".
HOP = re.compile(r"^\d+\. `([^`]+)` `([^`]+)`: ", re.M)


def hop_faults(text, root):
    """Each hop whose file is missing, or whose function's name does not stand in that
    file before a "(" (a Class:: before it must stand there too), as "file name: why"."""
    faults = []
    for path, name in HOP.findall(text):
        where = os.path.join(root, path)
        if not os.path.isfile(where):
            faults.append("%s %s: no such file" % (path, name))
            continue
        source = open(where, encoding="utf-8").read()
        *scopes, function = name.split("::")
        found = re.search(r"\b%s\s*\(" % re.escape(function), source) and all(
            re.search(r"\b%s\b" % re.escape(scope), source) for scope in scopes)
        if not found:
            faults.append("%s %s: not in the file" % (path, name))
    return faults


def test_every_hop_of_the_routes_names_a_file_and_a_function_in_it():
    text = open(os.path.join(ROOT, "docs", "architecture.md"), encoding="utf-8").read()
    assert len(HOP.findall(text)) >= 40
    assert hop_faults(text, ROOT) == []


def test_the_hop_check_catches_a_wrong_file_and_a_wrong_function():
    text = ("1. `planner/slicer.cpp` `Slicer::next`: good\n"
            "2. `planner/slicer.c` `Slicer::next`: no such file\n"
            "3. `planner/slicer.cpp` `Slicer::previous`: no such function\n"
            "4. `planner/stream.cpp` `Trapezoid::stream_to_card`: no such class there\n")
    assert hop_faults(text, ROOT) == [
        "planner/slicer.c Slicer::next: no such file",
        "planner/slicer.cpp Slicer::previous: not in the file",
        "planner/stream.cpp Trapezoid::stream_to_card: not in the file"]


# A path in the house: a top folder of the tree, then no blanks (NAME: a placeholder).
HOUSE_PATH = re.compile(r"`((?:src|sim|gcode|planner|tools|python|bindings|tests|include|"
                        r"common|win|docs|examples|scripts|cmake)/[\w./-]*)`")


def test_the_paths_named_in_the_architecture_and_decisions_exist():
    pages = [os.path.join(ROOT, "docs", "architecture.md")] + [
        os.path.join(ROOT, "docs", "decisions", name)
        for name in os.listdir(os.path.join(ROOT, "docs", "decisions")) if name.endswith(".md")]
    missing = []
    for page in pages:
        for path in HOUSE_PATH.findall(open(page, encoding="utf-8").read()):
            if "NAME" not in path and not os.path.exists(os.path.join(ROOT, path)):
                missing.append("%s: %s" % (os.path.relpath(page, ROOT), path))
    assert missing == []
