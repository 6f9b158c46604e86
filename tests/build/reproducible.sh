#!/usr/bin/env bash
# Two clean builds of vantle_native.exe from the same sources, in folders of
# different names, must give byte-identical files.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for build in first second-with-a-longer-name; do
  cmake -S "$source_dir" -B "$work/$build" -G Ninja \
    --toolchain "$source_dir/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$work/$build" --target vantle_native >/dev/null
done
cmp "$work/first/vantle_native.exe" "$work/second-with-a-longer-name/vantle_native.exe"
sha256sum "$work"/*/vantle_native.exe | sed "s|$work/||"
