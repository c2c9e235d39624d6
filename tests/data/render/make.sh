#!/bin/sh
# Regenerates boot_frames.rle, the golden frames of the booted ROM, by running
# the golden test in its recording mode, then dumps the frames as PNG images
# for a look (into the folder given as the second argument, default ./frames).
#
#   tests/data/render/make.sh [build folder] [png folder]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../../build}
cmake --build "$build" --target test_host_Render_golden
QUORVANE_REGENERATE_GOLDEN=1 "$build/bin/test_host_Render_golden" --gtest_filter='RenderGolden.BootedRomFramesMatchTheStoredOnes'
"$here/rle_to_png.py" "$here/boot_frames.rle" "${2:-frames}"
