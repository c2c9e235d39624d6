#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test: the release build,
# the AddressSanitizer + UndefinedBehaviorSanitizer build, and the
# ThreadSanitizer build of the threading tests.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$top/scripts/setup.sh"

echo "== release build and tests"
"$top/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir "$top/build" --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
"$top/scripts/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DQUORVANE_SANITIZE=address
ctest --test-dir "$top/build-asan" --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build of the threading tests"
cmake -S "$top" -B "$top/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DQUORVANE_SANITIZE=thread >/dev/null
cmake --build "$top/build-tsan" --target threading_tests
ctest --test-dir "$top/build-tsan" --output-on-failure -j "$jobs" -L threading --no-tests=ignore
