#!/bin/sh
# Installs every Debian 12 package Tundra needs to build, test and run.
# Does nothing when all of them are installed already.
set -eu

PACKAGES="
  cmake ninja-build g++ pkg-config
  libsdl2-dev libegl-dev libgl-dev libgl1-mesa-dri
  libgtest-dev libgmock-dev
  libfreetype-dev fonts-dejavu-core
  libstb-dev zlib1g-dev libpng-dev libzip-dev
  xvfb xauth xdotool imagemagick
  openarena-081-maps openarena-088-data
"
# Given package names, installs those instead (scripts/install-wine-deps.sh).
if [ $# -gt 0 ]; then
  PACKAGES="$*"
fi

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
