#!/bin/sh
# Renders the README picture docs/screenshot.png headless: builds the viewer
# and the run folder, starts the viewer on a copy of build/run/data with a
# saved camera placement overlooking the main hall, lets it run for 2.5 s
# (so the frame-rate figures have settled) and captures a frame through the
# TUNDRA_SCRIPT input player. The console and the frame-rate lines show, as
# on a first run.
#
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
#        (defaults: build, docs/screenshot.png)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
output=${2:-docs/screenshot.png}

# The build's own screenshot target has already built what is needed.
if [ -z "${TUNDRA_SCREENSHOT_PREBUILT:-}" ]; then
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset default
    fi
    cmake --build "$build" --target tundra sample_run
fi

work=$(mktemp -d /tmp/tundra-screenshot-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -R "$build/run/data" "$work/data"
# x y z pitch yaw roll: above and behind the start point, looking down the nave.
printf '0 150 -340 -0.25 0 0 ' > "$work/data/posFile.pos"
cat > "$work/script.txt" <<SCRIPT
2500 capture $work/frame.ppm
2600 close
SCRIPT

viewer=$(cd "$build" && pwd)/tundra
(cd "$work" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy TUNDRA_SCRIPT="$work/script.txt" \
    timeout 60 "$viewer" > "$work/viewer.out" 2>&1) || {
    echo "screenshot: the viewer failed; its output and log:" >&2
    cat "$work/viewer.out" "$work/logging.txt" >&2 2>/dev/null || true
    exit 1
}
if [ ! -s "$work/frame.ppm" ]; then
    echo "screenshot: no frame was captured" >&2
    exit 1
fi
mkdir -p "$(dirname "$output")"
convert "$work/frame.ppm" -strip "$output"
echo "screenshot: wrote $output"
