"""The first Python program of docs/python.md runs as written and prints what the page shows."""
import os
import re
import subprocess
import sys

import korva3

PAGE = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "python.md")


def test_the_first_program_prints_what_the_page_says():
    text = open(PAGE).read()
    section = text[text.index("## A first program, on the virtual card"):]
    program = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    shown = re.search(r"first_path\.py +# (card 0 at .*)", text).group(1)
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korva3.__file__)))
    run = subprocess.run([sys.executable, "-c", program], env=env, capture_output=True,
                         text=True, check=True)
    assert run.stdout.strip() == shown


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
    root = os.path.join(os.path.dirname(__file__), "..", "..")
    pages = [os.path.join(root, "README.md")] + [
        os.path.join(root, "docs", name) for name in os.listdir(os.path.join(root, "docs"))
        if name.endswith(".md")]
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
