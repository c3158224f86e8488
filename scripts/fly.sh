#!/bin/sh
# Flies through a real level in one command: converts an OpenArena map from
# the installed Debian packages into its own run folder, build/fly/MAP, with
# the sample configuration, marble texture and font, puts the camera at the
# map's first spawn point and starts the viewer there.
#
#   scripts/fly.sh           lists the maps that can be flown
#   scripts/fly.sh MAP       e.g. scripts/fly.sh oa_dm5
#
# The environment reaches the viewer unchanged (SDL_VIDEODRIVER=offscreen,
# TUNDRA_SCRIPT=... for headless runs). Ctrl+C or Escape ends it.
set -eu
cd "$(dirname "$0")/.."
PAKS=/usr/share/games/openarena/baseoa

scripts/install-deps.sh
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default --target tundra bsp2geom sample_run >/dev/null
bsp2geom=$(pwd)/build/tools/bsp2geom

# The later package replaces a map the earlier one also has, as in the game.
archives="$PAKS/pak1-maps.pk3 $PAKS/pak6-patch088.pk3"
maps() {
    for pak in $archives; do "$bsp2geom" --list "$pak"; done |
        sed -e 's|^maps/||' -e 's|\.bsp$||' | sort -u
}

if [ $# -eq 0 ]; then
    echo "usage: scripts/fly.sh MAP    with MAP one of:"
    maps | paste -sd ' ' | fold -s -w 78 | sed 's/^/  /'
    exit 0
fi
map=${1%.bsp}
map=${map#maps/}
archive=""
for pak in $archives; do
    if "$bsp2geom" --list "$pak" | grep -qx "maps/$map.bsp"; then archive=$pak; fi
done
if [ -z "$archive" ]; then
    echo "fly: no map '$map' in the OpenArena packages; scripts/fly.sh lists them" >&2
    exit 1
fi

run=build/fly/$map
mkdir -p "$run/data"
for file in default.cfg marble.bmp font.f; do cp build/run/data/$file "$run/data/"; done
"$bsp2geom" --position "$run/data/posFile.pos" "$archive" "maps/$map.bsp" "$run/data/world.geom"
cd "$run"
exec ../../tundra
