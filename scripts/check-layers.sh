#!/bin/sh
# Checks two rules of the layout and exits non-zero when one is broken:
#
# 1. No include cycle under platform/. A file and the header of the same
#    name (gl/device.cpp, gl/device.h) are one unit; a unit depends on every
#    unit whose header one of its files includes. Cycles are printed by tsort.
# 2. The shipped viewer (build/tundra) carries none of the tests' machinery:
#    no recording device or Direct3D factory. A unit test, when one is built,
#    must carry them, or the check would look for the wrong names.
#
# usage: scripts/check-layers.sh [BUILD_DIR]   (default: build)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
cd "$ROOT"
status=0

# One "unit included-unit" pair a line, paths without their extension.
edges() {
    find platform -name '*.h' -o -name '*.cpp' -o -name '*.c' | sort | while read -r file; do
        dir=$(dirname "$file")
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" |
            while read -r name; do
                for base in "$dir" . platform; do
                    if [ -f "$base/$name" ]; then
                        target=$(realpath -m --relative-to=. "$base/$name")
                        echo "${file%.*} ${target%.*}"
                        break
                    fi
                done
            done
    done | awk '$1 != $2' | sort -u
}

loops=$(edges | tsort 2>&1 >/dev/null) || true
if [ -n "$loops" ]; then
    echo "check-layers: include cycle under platform/ (units without their extension):"
    echo "$loops" | sed 's/^tsort: -: input contains a loop:$/  a loop:/; s/^tsort: /    /'
    status=1
fi

# The names of the tests' stand-ins (tests/support), which the viewer never links.
MACHINERY='tundra_test|RecordingDevice|RecordingDirect3D|ScopedDirect3DFactory|CallRecorder'
machinery() {
    { strings "$1"; nm -C "$1" | sed 's/^[0-9a-f]* *[A-Za-z] //'; } | grep -E "$MACHINERY" |
        cut -c1-100 | sort -u
}

if [ ! -x "$BUILD/tundra" ]; then
    echo "check-layers: $BUILD/tundra is not built"
    status=1
elif found=$(machinery "$BUILD/tundra") && [ -n "$found" ]; then
    echo "check-layers: $BUILD/tundra carries test machinery:"
    echo "$found" | sed 's/^/  /' | head -10
    status=1
fi
if [ -x "$BUILD/tests/unit_world_test" ] && [ -z "$(machinery "$BUILD/tests/unit_world_test")" ]; then
    echo "check-layers: a unit test holds none of the names looked for; update MACHINERY"
    status=1
fi
[ "$status" = 0 ] && echo "check-layers: platform/ has no include cycle; $BUILD/tundra carries no test machinery"
exit "$status"
