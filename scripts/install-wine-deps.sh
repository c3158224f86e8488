#!/bin/sh
# Installs the Debian 12 packages the Windows cross-build and its tests under
# Wine need: the mingw-w64 compiler, 64-bit Wine, a virtual display, the
# window manager that gives Wine activation and focus changes, and the tools
# that drive, query and capture windows. Does nothing when all are installed.
set -eu
exec "$(dirname "$0")/install-deps.sh" \
  g++-mingw-w64-x86-64-win32 \
  wine wine64 \
  xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox
