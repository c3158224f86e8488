#!/bin/sh
# Builds Tundra with its generated sample data and starts the viewer in
# build/run (the viewer reads data/ below its working directory and writes
# logging.txt there).
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
cd build/run
exec ../tundra
