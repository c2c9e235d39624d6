#!/usr/bin/env bash
# screenshot.sh [OUTPUT.png]: shows what the program looks like. Starts the
# release build under a virtual X server (xvfb-run), opens a screen view
# (Ctrl+Alt+S), runs the machine (F9) so that the ROM boots, and saves a
# picture of the whole virtual screen (default: screenshot.png in the
# checkout). Not run in CI.
#
# QUORVANE_BUILD_DIR names the build folder to take the program from
# (default: build, built here when the program is missing).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/screenshot.png}")
build=$(realpath -m "${QUORVANE_BUILD_DIR:-$top/build}")

# The virtual X server, the key sender and the screen grabber.
packages=(xvfb xauth xdotool imagemagick)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ! -x "$build/bin/quorvane" ]; then
  "$top/scripts/setup.sh"
  "$top/scripts/build.sh" "$(basename "$build")" -DCMAKE_BUILD_TYPE=Release
fi

# A settings store of its own, so the user's options are neither read nor
# written.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT

export QUORVANE_PROGRAM="$build/bin/quorvane" QUORVANE_SHOT="$out" XDG_CONFIG_HOME="$config"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy "$QUORVANE_PROGRAM" &
  program=$!
  trap "kill $program 2>/dev/null || true; wait $program 2>/dev/null || true" EXIT
  main=$(timeout 30 xdotool search --sync --onlyvisible --name "^Quorvane" | head -n 1)
  sleep 1
  xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
  xdotool key ctrl+alt+s
  screen=$(timeout 30 xdotool search --sync --onlyvisible --name "^Screen View" | head -n 1)
  sleep 1
  # Below the main window, so both are seen (there is no window manager to
  # place it).
  xdotool windowmove --sync "$screen" 100 250 || true
  sleep 1
  xdotool key F9
  # The ROM clears the screen and prints its message within a second or two.
  sleep 4
  import -window root "$QUORVANE_SHOT"
'
echo "screenshot: $out"
