#!/bin/sh
# Builds the libFuzzer targets (preset "fuzz", into build-fuzz/), makes their
# seed corpora with the project's own tools and runs each target for SECONDS.
# usage: fuzz/run.sh SECONDS [TARGET...]
#   targets: config world font position image bsp (default: all)
#   FUZZ_JOBS=N   targets run N at a time (default 1)
# Under build-fuzz/fuzz/: seeds/T, corpus/T, logs/T.log and findings/T-crash-...
# (or -timeout-, -oom-); exits non-zero when a target found something.
set -eu
[ $# -lt 1 ] && sed -n '4,6p' "$0" >&2 && exit 2
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build-fuzz/fuzz
TOOLS=$ROOT/build-fuzz/tools
SEEDS=$OUT/seeds
# New memory up to 1 MiB is 0xBE: reading what nothing wrote gives garbage.
if [ "$1" = --one ]; then
  case $3 in config) len=4096 ;; position) len=256 ;; font | image) len=65536 ;; *) len=2097152 ;; esac
  mkdir -p "$OUT/corpus/$3" "$OUT/findings" "$OUT/logs"
  started=$(date +%s)
  cd "$OUT" && ASAN_OPTIONS=detect_leaks=1:max_malloc_fill_size=1048576 \
    UBSAN_OPTIONS=print_stacktrace=1 "./$3_fuzz" -max_total_time="$2" -max_len=$len \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$OUT/findings/$3-" \
    "$OUT/corpus/$3" "$SEEDS/$3" >"$OUT/logs/$3.log" 2>&1 || true
  echo $(($(date +%s) - started)) >"$OUT/logs/$3.seconds"
  exit 0
fi
SECONDS_PER_TARGET=$1
shift
TARGETS=${*:-config world font position image bsp}
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/install-deps.sh" clang libclang-rt-14-dev python3
cmake --preset fuzz -S "$ROOT" >/dev/null
cmake --build "$ROOT/build-fuzz" -j2 >/dev/null

rm -rf "$SEEDS"
mkdir -p "$SEEDS/config" "$SEEDS/world" "$SEEDS/font" "$SEEDS/position" "$SEEDS/image" "$SEEDS/bsp"
cp "$ROOT/data/default.cfg" "$SEEDS/config/"
printf '12.5 -3 7.25 0.1 -1.5 0 ' >"$SEEDS/position/saved"
printf '0 0 0 0 0 0 ' >"$SEEDS/position/origin"
"$TOOLS/mkfont" --size 8 --output "$SEEDS/font/small.f" >/dev/null
image=$SEEDS/image
"$TOOLS/mktexture" --size 16 "$image/marble16.bmp" >/dev/null
"$TOOLS/mktexture" --size 32 --seed 7 "$image/marble32.bmp" >/dev/null
convert "$image/marble16.bmp" "PNG:$image/marble16.png"
convert "$image/marble16.bmp" -alpha set -channel A -evaluate set 50% "PNG32:$image/translucent16.png"
convert "$image/marble32.bmp" -quality 80 "JPEG:$image/marble32.jpg"
convert "$image/marble16.bmp" -interlace JPEG "JPEG:$image/progressive16.jpg"
# Two real levels, and an archive with one of them deflated and stored.
python3 - /usr/share/games/openarena/baseoa/pak1-maps.pk3 "$SEEDS/bsp" <<'EOF'
import sys, zipfile
maps, out = sys.argv[1:]
with zipfile.ZipFile(maps) as source, zipfile.ZipFile(out + "/oa_ctf2.pk3", "w") as pk3:
    for name in ("oa_ctf2", "q3dm6ish"):
        open(out + "/" + name + ".bsp", "wb").write(source.read("maps/" + name + ".bsp"))
    pk3.writestr("maps/deflated.bsp", source.read("maps/oa_ctf2.bsp"), zipfile.ZIP_DEFLATED)
    pk3.writestr("maps/stored.bsp", source.read("maps/oa_ctf2.bsp"), zipfile.ZIP_STORED)
    pk3.writestr("levelshots/readme.txt", b"not a map\n")
EOF
for map in oa_ctf2 q3dm6ish; do
  "$TOOLS/bsp2geom" "$SEEDS/bsp/$map.bsp" "$SEEDS/world/$map.geom" >/dev/null
done

echo $TARGETS | tr ' ' '\n' | xargs -P "${FUZZ_JOBS:-1}" -n 1 "$0" --one "$SECONDS_PER_TARGET"
status=0
for target in $TARGETS; do
  log=$OUT/logs/$target.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  said="$target: ${runs:-?} executions in $(cat "$OUT/logs/$target.seconds") s"
  found=$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)
  if [ -n "$found" ]; then echo "$said: FINDING $found (log $log)" && status=1; else echo "$said, no finding"; fi
done
exit $status
