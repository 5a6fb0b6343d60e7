#!/usr/bin/env bash
# The README's first command: installs what is missing (scripts/deps.sh), builds what
# the demo needs (the two libraries and the korva3 tool, not the tests), and runs the
# demo on the virtual card; its plot is demo.svg, here.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh demo
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target korva32 korva32sim korva3
./build/tools/korva3/korva3 demo
