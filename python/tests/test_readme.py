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
