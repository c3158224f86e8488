#!/bin/sh
# Checks that every C++ file git tracks is laid out as .clang-format says.
# Prints each difference (file, line, what clang-format would write) and
# exits non-zero when there is one; it rewrites nothing (clang-format-14 -i
# FILE does that). The layout was measured with clang-format 14; other
# versions break some lines differently, so the script uses that one.
#
# usage: scripts/check-format.sh
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
"$ROOT/scripts/install-deps.sh" clang-format-14

# Third-party files kept as their authors wrote them, as an extended regular
# expression over the paths; the tree vendors none today (stb_image comes
# from Debian's libstb-dev).
VENDORED='^$'

git ls-files -z -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' |
  grep -z -v -E "$VENDORED" |
  xargs -0 -r clang-format-14 --dry-run -Werror
