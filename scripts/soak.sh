#!/bin/sh
# soak.sh - runs the soak (tests/soak/soak.cpp) for minutes or hours: paths on the virtual
# card in real time (lines, arcs, circles, 3-axis lines, blocking and stepwise, and every
# few rounds the 120000-pulse line at 1 pulse a slice), with the front panel open, pages
# following its event stream, inputs flipped and the state read on it, and the host
# loaded. Every path's end is checked exactly.
#
#   ./scripts/soak.sh [MINUTES]      (or SOAK_MINUTES=MINUTES; default 30)
#
# SOAK_LOAD (load threads, default 2), SOAK_STREAMS (event streams, default 3),
# SOAK_CLOCK (wall, pace or both; default both), SOAK_SEED (default: the time),
# BUILD_DIR (default build). The log goes to $BUILD_DIR/soak/soak-DATE.log; exit 0 when
# every path ended exactly.
set -eu
cd "$(dirname "$0")/.."
minutes=${1:-${SOAK_MINUTES:-30}}
build=${BUILD_DIR:-build}
load=${SOAK_LOAD:-2}
streams=${SOAK_STREAMS:-3}
clock=${SOAK_CLOCK:-both}
seed=${SOAK_SEED:-$(date +%s)}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
nice cmake --build "$build" -j2 --target korva_soak
mkdir -p "$build/soak"
log="$build/soak/soak-$(date +%Y%m%d-%H%M%S).log"
seconds=$(awk "BEGIN { print $minutes * 60 }")
echo "soak: $minutes min, log in $log"
status=0
nice "$build/tests/soak/korva_soak" --long --seconds "$seconds" --load "$load" \
    --streams "$streams" --clock "$clock" --seed "$seed" >"$log" 2>&1 || status=$?
grep -E '^(soak|panel):|FAIL' "$log" || true
exit $status
