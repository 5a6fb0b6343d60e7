"""The Python programs of README.md and docs/python.md run as written and print what
the pages show; every relative link of those pages reaches its file and heading."""
import os
import re
import subprocess
import sys

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
