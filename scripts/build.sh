#!/usr/bin/env bash
# build.sh FOLDER [cmake options...]: configures (once) and builds with Ninja.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
folder=$1; shift
cmake -S "$top" -B "$top/$folder" -G Ninja "$@" >/dev/null
cmake --build "$top/$folder" -- -k 0
