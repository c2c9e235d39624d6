#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs every test: the release build
# (GCC), the release build with Clang, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the ThreadSanitizer build of the
# threading tests. Every test reads only files inside the checkout.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# The sanitizers of GCC 12 cannot map their shadow memory on kernels with a
# wider address randomisation; running their tests without it is harmless.
no_aslr=()
if setarch "$(uname -m)" -R true 2>/dev/null; then no_aslr=(setarch "$(uname -m)" -R); fi
"$top/scripts/setup.sh"

echo "== release build and tests"
"$top/scripts/build.sh" build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir "$top/build" --output-on-failure -j "$jobs"

echo "== Clang release build and tests"
"$top/scripts/build.sh" build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
ctest --test-dir "$top/build-clang" --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
"$top/scripts/build.sh" build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DQUORVANE_SANITIZE=address
"${no_aslr[@]}" ctest --test-dir "$top/build-asan" --output-on-failure -j "$jobs"

echo "== ThreadSanitizer build of the threading tests"
cmake -S "$top" -B "$top/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DQUORVANE_SANITIZE=thread >/dev/null
cmake --build "$top/build-tsan" --target threading_tests
"${no_aslr[@]}" ctest --test-dir "$top/build-tsan" --output-on-failure -j "$jobs" -L threading --no-tests=ignore
