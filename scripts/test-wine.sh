#!/bin/sh
# Builds the Windows version (the `windows` preset: mingw-w64 against the real
# Direct3D 8 and DirectInput 8 headers, packaged as
# build/windows/tundra-windows-x86_64.zip) and runs its end-to-end tests under
# Wine in a private virtual display (`ctest --preset wine`). Installs the
# cross compiler, Wine and the display tools on first use. Needs the native
# build (build/) configured; scripts/test.sh does that first.
set -eu
cd "$(dirname "$0")/.."

seconds() { date +%s; }
step_start=$(seconds)
step() {
  now=$(seconds)
  echo "test-wine: $1 took $((now - step_start)) s"
  step_start=$now
}

scripts/install-wine-deps.sh
step "installing the packages"
cmake --preset windows
cmake --build --preset windows
step "the Windows build and its zip"
cmake --build --preset default --target wine_viewer_test
ctest --preset wine
step "the tests under Wine (prefix included)"
