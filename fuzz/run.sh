#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz", into build-fuzz/), makes their
# seed corpora with the project's own tools and runs each target for SECONDS.
#
# usage: fuzz/run.sh SECONDS [TARGET...]
#   targets: config world font position image bsp (default: all)
#   FUZZ_JOBS=N   targets run N at a time (default 1)
#
# Per target, under build-fuzz/fuzz/: seeds/T (made afresh), corpus/T (kept
# between runs), logs/T.log, and findings/T-crash-... (or -timeout-, -oom-)
# for every input that failed. Prints executions and seconds per target;
# exits non-zero when a target found something.
set -eu

if [ $# -lt 1 ]; then
  sed -n '5,7p' "$0" >&2
  exit 2
fi
SECONDS_PER_TARGET=$1
shift
TARGETS=${*:-config world font position image bsp}
JOBS=${FUZZ_JOBS:-1}

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-fuzz
OUT=$BUILD/fuzz
MAPS=/usr/share/games/openarena/baseoa/pak1-maps.pk3

"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/install-deps.sh" clang libclang-rt-14-dev python3
cmake --preset fuzz -S "$ROOT" >/dev/null
cmake --build "$BUILD" -j2 >/dev/null

# Input size limits: a little above the largest seed of each target.
max_len() {
  case $1 in
    config) echo 4096 ;;
    position) echo 256 ;;
    font) echo 65536 ;;
    image) echo 65536 ;;
    world) echo 131072 ;;
    bsp) echo 131072 ;;
  esac
}

make_seeds() {
  seeds=$OUT/seeds
  tools=$BUILD/tools
  rm -rf "$seeds"
  mkdir -p "$seeds/config" "$seeds/world" "$seeds/font" "$seeds/position" "$seeds/image" \
           "$seeds/bsp"
  cp "$ROOT/data/default.cfg" "$seeds/config/"
  printf '12.5 -3 7.25 0.1 -1.5 0 ' >"$seeds/position/saved"
  printf '0 0 0 0 0 0 ' >"$seeds/position/origin"
  "$tools/mkfont" --size 8 --output "$seeds/font/small.f" >/dev/null
  "$tools/mktexture" --size 16 "$seeds/image/marble16.bmp" >/dev/null
  "$tools/mktexture" --size 32 --seed 7 "$seeds/image/marble32.bmp" >/dev/null
  convert "$seeds/image/marble16.bmp" "PNG:$seeds/image/marble16.png"
  convert "$seeds/image/marble16.bmp" -alpha set -channel A -evaluate set 50% \
    "PNG32:$seeds/image/translucent16.png"
  convert "$seeds/image/marble32.bmp" -quality 80 "JPEG:$seeds/image/marble32.jpg"
  convert "$seeds/image/marble16.bmp" -interlace JPEG "JPEG:$seeds/image/progressive16.jpg"
  python3 "$ROOT/fuzz/shrink_bsp.py" "$MAPS" maps/oa_ctf2.bsp \
    "$seeds/bsp/oa_ctf2-small.bsp" "$seeds/bsp/oa_ctf2-small.pk3"
  python3 "$ROOT/fuzz/shrink_bsp.py" "$MAPS" maps/q3dm6ish.bsp \
    "$seeds/bsp/q3dm6ish-small.bsp" "$OUT/q3dm6ish-small.pk3"
  "$tools/bsp2geom" "$seeds/bsp/oa_ctf2-small.bsp" "$seeds/world/oa_ctf2-small.geom" >/dev/null
  "$tools/bsp2geom" "$seeds/bsp/q3dm6ish-small.bsp" "$seeds/world/q3dm6ish-small.geom" >/dev/null
  rm -f "$OUT/q3dm6ish-small.pk3"
}

# Starts one target in the background; its log ends with libFuzzer's stats.
start_target() {
  target=$1
  mkdir -p "$OUT/corpus/$target" "$OUT/findings" "$OUT/logs"
  (
    cd "$OUT"
    started=$(date +%s)
    # New memory up to 1 MiB is filled with 0xBE (AddressSanitizer's
    # default is the first 4 KiB only), so reading memory nothing wrote
    # gives garbage that the checks and UndefinedBehaviorSanitizer notice.
    ASAN_OPTIONS=detect_leaks=1:max_malloc_fill_size=1048576 UBSAN_OPTIONS=print_stacktrace=1 \
      "./${target}_fuzz" -max_total_time="$SECONDS_PER_TARGET" -max_len="$(max_len "$target")" \
      -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$OUT/findings/$target-" \
      "$OUT/corpus/$target" "$OUT/seeds/$target" >"$OUT/logs/$target.log" 2>&1 || true
    echo $(($(date +%s) - started)) >"$OUT/logs/$target.seconds"
  ) &
}

report_target() {
  target=$1
  log=$OUT/logs/$target.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  time=$(cat "$OUT/logs/$target.seconds")
  found=$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)
  if [ -n "$found" ]; then
    echo "$target: FINDING after ${runs:-?} executions in ${time:-?} s: $found (log $log)"
    return 1
  fi
  echo "$target: ${runs:-?} executions in ${time:-?} s, no finding"
}

make_seeds
status=0
set -- $TARGETS
while [ $# -gt 0 ]; do
  batch=""
  while [ $# -gt 0 ] && [ "$(echo $batch | wc -w)" -lt "$JOBS" ]; do
    batch="$batch $1"
    start_target "$1"
    shift
  done
  wait
  for target in $batch; do
    report_target "$target" || status=1
  done
done
exit $status
