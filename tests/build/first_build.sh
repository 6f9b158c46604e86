#!/usr/bin/env bash
# A configure run before the cross compiler is installed stops, naming the
# install script, and caches none of the host's tools; scripts/build's
# configure step reconfigures a folder that holds them from scratch.
set -euo pipefail
cd "$(dirname "$0")/../.."
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cache="$work/build/CMakeCache.txt"

if output="$(cmake --preset windows -B "$work/build" -DVANTLE_CROSS_PREFIX="$work/none/x86_64-w64-mingw32-" 2>&1)"; then
  echo "configured without the cross compiler"; exit 1
fi
grep -q 'scripts/install-deps' <<<"$output" || { echo "$output"; exit 1; }
! grep '^CMAKE_AR:' "$cache" || { echo "the failed run cached an archiver"; exit 1; }

# What a run past a missing compiler leaves: the host's archiver, no -Os.
for poisoned in false true; do
  if $poisoned; then sed -i -e 's|^CMAKE_AR:FILEPATH=.*|CMAKE_AR:FILEPATH=/usr/bin/ar|' \
    -e 's|^CMAKE_CXX_FLAGS_MINSIZEREL:STRING=.*|CMAKE_CXX_FLAGS_MINSIZEREL:STRING=|' "$cache"; fi
  scripts/configure-windows "$work/build" >/dev/null
  grep -q '^CMAKE_AR:FILEPATH=/usr/bin/x86_64-w64-mingw32-ar$' "$cache" || { echo "host archiver kept"; exit 1; }
  grep -q '^CMAKE_CXX_FLAGS_MINSIZEREL:STRING=-Os' "$cache" || { echo "no -Os"; exit 1; }
done
