#!/usr/bin/env bash
# Usage: scripts/cncjs.sh
# Installs the cncjs sender from npm into KORVA_CNCJS_DIR (default
# ~/.cache/korva3/cncjs), for the test that drives it against korva3 serve --grbl
# (tests/grbl, skipped without it). Optional: when npm can't install it, says why and
# exits 0. Does nothing when it is there.
set -uo pipefail
dir=${KORVA_CNCJS_DIR:-$HOME/.cache/korva3/cncjs}
version=1.11.5
[ -f "$dir/node_modules/cncjs/package.json" ] && exit 0
command -v npm >/dev/null || { echo "cncjs.sh: no npm: the cncjs sender test skips"; exit 0; }
mkdir -p "$dir"
log=$(mktemp)
if npm install --prefix "$dir" --no-audit --no-fund "cncjs@$version" >"$log" 2>&1; then
    echo "cncjs.sh: cncjs $version in $dir"
else
    echo "cncjs.sh: npm could not install cncjs ($(grep -m1 -i 'err' "$log")): the cncjs sender test skips"
fi
rm -f "$log"
exit 0
