#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
PKGS=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev python3 unicode-data ccache tmux libcurl4-openssl-dev libssl-dev
      libpng-dev libturbojpeg0-dev libgif-dev libtiff-dev xclip xvfb python3-pyte)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
