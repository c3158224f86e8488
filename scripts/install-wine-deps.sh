#!/bin/sh
# Installs the Debian 12 packages the Windows cross-build and its tests under
# Wine need: the mingw-w64 compiler, 64-bit Wine, a virtual display, the
# window manager that gives Wine activation and focus changes, and the tools
# that drive and capture the window. Does nothing when all are installed.
set -eu

PACKAGES="
  g++-mingw-w64-x86-64-win32
  wine wine64
  xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox
"

missing=""
for package in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

echo "Installing:$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y -o DPkg::Lock::Timeout=600 --no-install-recommends $missing
