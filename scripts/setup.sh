#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is
# missing; prints nothing when everything is there.
set -euo pipefail

packages=(
  build-essential clang cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev libsdl2-dev
  libgtest-dev libgmock-dev
  opense-basic fonts-liberation fonts-dejavu-core
  xz-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "setup.sh: installing needs root; run it as root or install sudo" >&2
      exit 1
    fi
    sudo_cmd=(sudo)
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
