#!/bin/sh
# The viewer against the engine its levels were made for (Debian's
# `openarena`: ioquake3 with OpenArena's game code), on the same turn in the
# same level, in a private virtual display, 800 x 600 windowed.
#
#   bench/peer.sh [MAP [X Y Z]]     default: oa_dm5 936 192 248
#
# X Y Z is a spot in the level's own units where the player stands
# (`setviewpos`; the eye is 26 units higher); for another map without one,
# its first spawn point. Once, the engine records a demo
# of a full turn to the right on that spot. Then, round after round, the
# engine plays the demo as fast as it can (`timedemo 1`) and the viewer
# plays the same turn on the converted level (2000 mouse counts, one full
# turn, over 10 s through TUNDRA_SCRIPT).
#
# Both sides do the same work: the level seen from the same eye. The engine
# would also draw the player's weapon and its 2D status bar (with 3D head
# icons), about 15 % of its frame, which the viewer has no counterpart for:
# `cg_drawGun 0` and `cg_draw2D 0` leave them out. Its default texture
# filter is cheaper than the viewer's trilinear surface stage:
# `r_textureMode GL_LINEAR_MIPMAP_LINEAR` gives it the same one.
#
# Both sides' frames are timed at the swap by a preloaded library
# (bench/swap_counter.c), with the process's CPU time (user + system, every
# thread): CPU time per frame depends much less on what else the machine
# runs than a frame rate does. Each round prints both frame rates and CPU
# times per frame; then `cpu ratio: R`, the median over rounds of engine /
# viewer CPU time per frame; the last line is `peer ratio: R`, the median
# over rounds of viewer / engine frame rates.
#
# Environment: ROUNDS (default 4), BUILD (build folder, default build),
# DISPLAY_NUMBER (default: a free one in 200..250), KEEP=1 keeps the work
# folder, BSP2GEOM_FLAGS (e.g. --no-visibility, to time the viewer drawing
# every face).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
MAP=${1:-oa_dm5}
X=${2:-} Y=${3:-} Z=${4:-}
if [ -z "$Z" ] && [ "$MAP" = oa_dm5 ]; then X=936 Y=192 Z=248; fi
ROUNDS=${ROUNDS:-4}
YAW=0
SIZE="800 600"
ENGINE=/usr/games/openarena

"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/install-deps.sh" openarena

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target tundra bsp2geom sample_run >/dev/null

WORK=$(mktemp -d /tmp/tundra-peer-XXXXXX)
XVFB_PID=""
cleanup() {
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
    if [ "${KEEP:-0}" = 1 ]; then echo "work folder: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# --- a private display -------------------------------------------------------------
number=${DISPLAY_NUMBER:-}
if [ -z "$number" ]; then
    number=$((200 + $(od -An -N1 -tu1 /dev/urandom) % 51))
    for _ in $(seq 51); do
        [ -e "/tmp/.X$number-lock" ] || break
        number=$((200 + (number - 199) % 51))
    done
fi
Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
export DISPLAY=":$number"
up=0
for _ in $(seq 50); do
    if timeout 5 xdpyinfo >/dev/null 2>&1; then up=1; break; fi
    sleep 0.2
done
[ "$up" = 1 ] || { echo "peer: Xvfb on :$number did not start" >&2; cat "$WORK/xvfb.log" >&2; exit 1; }
unset SDL_VIDEODRIVER WAYLAND_DISPLAY
export SDL_AUDIODRIVER=dummy

# --- the viewer: the same spot and turn on the converted level -----------------------
cc -shared -fPIC -O2 -o "$WORK/swap_counter.so" "$ROOT/bench/swap_counter.c" -ldl
RUN=$WORK/tundra
mkdir -p "$RUN/data"
for file in default.cfg marble.bmp font.f; do cp "$BUILD/run/data/$file" "$RUN/data/"; done
archive=""
for pak in /usr/share/games/openarena/baseoa/pak1-maps.pk3 /usr/share/games/openarena/baseoa/pak6-patch088.pk3; do
    if "$BUILD/tools/bsp2geom" --list "$pak" | grep -qx "maps/$MAP.bsp"; then archive=$pak; fi
done
[ -n "$archive" ] || { echo "peer: no map $MAP in the OpenArena packages" >&2; exit 1; }
# shellcheck disable=SC2086
"$BUILD/tools/bsp2geom" ${BSP2GEOM_FLAGS:-} --position "$WORK/spawn.pos" "$archive" "maps/$MAP.bsp" \
    "$RUN/data/world.geom" >"$WORK/convert.log"
if [ -z "$Z" ]; then
    # The first spawn point, back from the viewer's placement to the level.
    # shellcheck disable=SC2046
    set -- $(cat "$WORK/spawn.pos")
    X=$1 Y=$3 Z=$(awk -v y="$2" 'BEGIN { print y - 26 }')
    YAW=$(awk -v a="$5" 'BEGIN { printf "%.0f", 90 - a * 180 / 3.14159265358979 }')
fi
# The eye 26 units above the spot, axes swapped (x, z, y); yaw 0 of the
# level (+x) is a quarter turn right of the viewer's +z.
awk -v x="$X" -v y="$Y" -v z="$Z" -v yaw="$YAW" \
    'BEGIN { printf "%s %s %s 0 %.7f 0 ", x, z + 26, y, (90 - yaw) * 3.14159265358979 / 180 }' \
    >"$RUN/data/posFile.pos"
# 2000 counts in 100 steps of 20 over 10 s, then close.
awk 'BEGIN { for (t = 0; t < 10000; t += 100) printf "%d mouse 20 0\n", t; print "10000 close" }' \
    >"$WORK/turn.txt"

# --- the engine: record the turn once ------------------------------------------------
HOME_DIR=$WORK/engine
mkdir -p "$HOME_DIR/baseoa"
ENGINE_SETTINGS="+set fs_homepath $HOME_DIR +set cl_renderer opengl1 +set r_mode -1
  +set r_customwidth ${SIZE% *} +set r_customheight ${SIZE#* } +set r_fullscreen 0
  +set r_swapInterval 0 +set s_initsound 0 +set bot_enable 0 +set in_nograb 1
  +set com_introplayed 1 +set r_vertexlight 0
  +set cg_drawGun 0 +set cg_draw2D 0 +set r_textureMode GL_LINEAR_MIPMAP_LINEAR"
# `wait` counts two per frame at com_maxfps 30, so the turn lasts 600
# frames; fixedtime makes each of them 33 ms of game time however slowly a
# busy machine draws them: 19.8 s at 18 degrees per second, one turn.
cat >"$HOME_DIR/baseoa/turn.cfg" <<CFG
devmap $MAP
wait 200
set fixedtime 33
setviewpos $X $Y $Z $YAW
wait 60
record turn
+right
wait 1200
-right
stoprecord
quit
CFG
# shellcheck disable=SC2086
timeout 180 "$ENGINE" $ENGINE_SETTINGS +set com_maxfps 30 +set cl_yawspeed 18 \
    +set g_synchronousClients 1 +exec turn.cfg >"$WORK/record.log" 2>&1 || true
if [ ! -s "$HOME_DIR/baseoa/demos/turn.dm_71" ]; then
    echo "peer: the engine recorded no demo; its output:" >&2
    tail -20 "$WORK/record.log" >&2
    exit 1
fi

# Prints "FPS CPU_MS" over the last FRAMES frames timed in the file
# SWAPS (all of them when FRAMES is empty): the frame rate and the CPU
# milliseconds per frame.
frame_times() {
    awk -v want="${2:-}" '{ wall[NR] = $1; cpu[NR] = $2 }
        END { n = want == "" ? NR - 1 : want; if (n < 1 || n >= NR) exit 1
              first = NR - n; seconds = wall[NR] - wall[first]
              if (seconds <= 0) exit 1
              printf "%.1f %.2f\n", n / seconds, 1000 * (cpu[NR] - cpu[first]) / n }' "$1"
}

# The engine's frames are those of the timedemo, which ends its run: the
# last swaps, as many as it says it drew (before them it loads and swaps
# loading screens). Its frame rate is its own figure.
engine_run() {
    rm -f "$WORK/engine-swaps"
    # shellcheck disable=SC2086
    SWAP_COUNT_FILE="$WORK/engine-swaps" LD_PRELOAD="$WORK/swap_counter.so" \
        timeout 180 "$ENGINE" $ENGINE_SETTINGS +set com_maxfps 0 +set timedemo 1 \
        +set nextdemo quit +demo turn >"$WORK/play.log" 2>&1 || true
    # "N frames T seconds F fps ..."
    line=$(awk '{ for (i = 2; i + 4 <= NF; ++i) if ($i == "frames" && $(i + 4) == "fps")
                     print $(i - 1), $(i + 3) }' "$WORK/play.log" | tail -1)
    [ -n "$line" ] && [ -s "$WORK/engine-swaps" ] || return 1
    # shellcheck disable=SC2086
    set -- $line
    times=$(frame_times "$WORK/engine-swaps" "$1") || return 1
    echo "$2 ${times#* }"
}

tundra_run() {
    rm -f "$WORK/swaps"
    (cd "$RUN" && SWAP_COUNT_FILE="$WORK/swaps" LD_PRELOAD="$WORK/swap_counter.so" \
        TUNDRA_SCRIPT="$WORK/turn.txt" timeout 60 "$BUILD/tundra" >"$WORK/tundra.log" 2>&1) || true
    [ -s "$WORK/swaps" ] && frame_times "$WORK/swaps"
}

median() {
    tr ' ' '\n' | sed '/^$/d' | sort -n |
        awk '{ r[NR] = $1 } END { printf "%.3f\n", NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2 }'
}

echo "map $MAP at $X $Y $Z, $SIZE windowed, display :$number; load: $(uptime | sed 's/.*load/load/')"
ratios="" cpu_ratios=""
round=1
while [ "$round" -le "$ROUNDS" ]; do
    # Alternate who goes first, so neither always runs right after the other.
    if [ $((round % 2)) = 1 ]; then engine=$(engine_run || true); tundra=$(tundra_run || true)
    else tundra=$(tundra_run || true); engine=$(engine_run || true); fi
    if [ -z "$engine" ] || [ -z "$tundra" ]; then
        echo "peer: round $round failed (engine '${engine}', viewer '${tundra}')" >&2
        tail -5 "$WORK/play.log" "$RUN/logging.txt" >&2 2>/dev/null || true
        exit 1
    fi
    # shellcheck disable=SC2086
    set -- $engine $tundra
    ratio=$(awk -v t="$3" -v e="$1" 'BEGIN { printf "%.3f", t / e }')
    cpu_ratio=$(awk -v t="$4" -v e="$2" 'BEGIN { printf "%.3f", e / t }')
    echo "round $round: engine $1 fps $2 ms CPU, tundra $3 fps $4 ms CPU, ratio $ratio, CPU ratio $cpu_ratio"
    ratios="$ratios $ratio" cpu_ratios="$cpu_ratios $cpu_ratio"
    round=$((round + 1))
done
echo "load after: $(uptime | sed 's/.*load/load/')"
echo "cpu ratio: $(echo "$cpu_ratios" | median)"
echo "peer ratio: $(echo "$ratios" | median)"
