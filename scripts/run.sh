#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the release build and starts the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release
exec "$top/build/bin/quorvane" "$@"
