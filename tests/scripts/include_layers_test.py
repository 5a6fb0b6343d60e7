#!/usr/bin/env python3
"""The library's folders include only folders below them (docs/design.md: Layout):
port <- state <- link <- {card, commands, interp}, the backends in src/platform/ only
port/, and nothing in src/ includes the virtual machine or another part of the project.
Usage: include_layers_test.py PATH/TO/src"""
import os
import re
import sys
import tempfile
import unittest

SRC = None

# What each folder of src/ may include besides itself ("korva3.h" is the public header:
# interp/ sends its slices through KORVA3_INTP_PULSE of commands/ that way).
MAY_INCLUDE = {
    "port": set(),
    "state": {"port"},
    "link": {"port", "state"},
    "card": {"port", "state", "link"},
    "commands": {"port", "state", "link"},
    "interp": {"port", "state", "link"},
    "platform": {"port"},
}
PUBLIC = {"korva3.h"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def faults(src):
    """Every include of src/ that runs up, sideways or out, as "FILE: includes X"."""
    found = []
    for folder in sorted(os.listdir(src)):
        top = os.path.join(src, folder)
        if not os.path.isdir(top):
            continue
        allowed = MAY_INCLUDE.get(folder)
        for root, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, src)
                if allowed is None:
                    found.append(rel + ": in a folder the layers do not name")
                    continue
                with open(path, encoding="utf-8") as f:
                    for target in INCLUDE.findall(f.read()):
                        head = target.split("/")[0] if "/" in target else None
                        if target in PUBLIC or head == folder or head in allowed:
                            continue
                        found.append(rel + ": includes " + target)
    return found


class IncludeLayers(unittest.TestCase):
    def test_the_library_includes_only_downward(self):
        self.assertEqual(faults(SRC), [])

    def test_an_include_running_up_or_out_is_caught(self):
        with tempfile.TemporaryDirectory() as tree:
            planted = {
                "state/card_table.h": '#include "link/command_frame.h"\n',
                "link/status_frame.cpp": '#include "interp/step_dispatch.h"\n',
                "commands/motion.cpp": '#include "interp/engines.h"\n#include "korva3.h"\n',
                "platform/linux/plat_linux.cpp": '#include "vm.h"\n#include "port/platform.h"\n',
                "interp/line.cpp": '#include "state/intp_state.h"\n',
            }
            for rel, text in planted.items():
                os.makedirs(os.path.dirname(os.path.join(tree, rel)), exist_ok=True)
                with open(os.path.join(tree, rel), "w", encoding="utf-8") as f:
                    f.write(text)
            self.assertEqual(faults(tree), [
                "commands/motion.cpp: includes interp/engines.h",
                "link/status_frame.cpp: includes interp/step_dispatch.h",
                "platform/linux/plat_linux.cpp: includes vm.h",
                "state/card_table.h: includes link/command_frame.h",
            ])


if __name__ == "__main__":
    SRC = sys.argv.pop(1)
    unittest.main()
