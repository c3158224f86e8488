#!/bin/sh
# Builds the benchmarks, converts the largest OpenArena level and runs the
# frame-rate and load benchmarks on it, headless.
#
#   bench/bench.sh [FRAMES [ROUNDS]]
#
# Needs the Debian packages openarena-081-maps and openarena-088-data.
# Environment: BUILD (build folder, default build-bench), SCREENSHOTS (a path
# prefix: write PPM pictures of the viewer and reference there).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
FRAMES=${1:-10}
ROUNDS=${2:-9}
PAKS=/usr/share/games/openarena/baseoa

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNDRA_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target tundra_bench bsp2geom mktexture -j2 >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/data"
cp "$ROOT/data/default.cfg" "$WORK/data/"
"$BUILD/tools/mktexture" "$WORK/data/marble.bmp" >/dev/null

# The largest level: the one whose world.geom comes out biggest.
best_size=0
for pak in "$PAKS/pak1-maps.pk3" "$PAKS/pak6-patch088.pk3"; do
    for map in $("$BUILD/tools/bsp2geom" --list "$pak"); do
        "$BUILD/tools/bsp2geom" "$pak" "$map" "$WORK/probe.geom" >/dev/null
        size=$(stat -c %s "$WORK/probe.geom")
        if [ "$size" -gt "$best_size" ]; then
            best_size=$size best_pak=$pak best_map=$map
        fi
    done
done
rm -f "$WORK/probe.geom"
echo "largest level: $best_map in $(basename "$best_pak")"

cd "$WORK"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
shot=""
if [ -n "${SCREENSHOTS:-}" ]; then shot="--screenshot $SCREENSHOTS"; fi
# shellcheck disable=SC2086
"$BUILD/bench/tundra_bench" fps "$best_pak" "$best_map" --frames "$FRAMES" --rounds "$ROUNDS" $shot
"$BUILD/bench/tundra_bench" load "$best_pak" "$best_map"
