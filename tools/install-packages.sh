#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the fonts of the
# art need, when any of them is missing (as root, or through sudo).
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev libjpeg-dev libpng-dev libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev fonts-arphic-uming fonts-noto-cjk fonts-liberation2 xvfb python3-html5lib)
if dpkg -s "${packages[@]}" > /dev/null 2>&1; then
  exit 0
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
fi
echo "+ apt-get install -y ${packages[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${packages[@]}"
