#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy) and cppcheck over src/: no finding may
# stand; each suppression in the code says why.
#   static_analysis.sh SOURCE_DIR HOST_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
source_dir="$1" build_dir="$2" linux_build_dir="$3"
cd "$source_dir"

windows_only=(src/runtime/cxx_support.cpp src/runtime/stack_guard.cpp)
# The Linux rooms are in the Linux build's compilation database; their pure
# formats are in the host's too.
linux_rooms=(src/linux src/selection src/x11 src/wayland)
mapfile -t linux_only < <(find "${linux_rooms[@]}" -name '*.cpp' ! -name formats.cpp 2>/dev/null | sort)
mapfile -t sources < <(find src -name '*.cpp' ! -name cxx_support.cpp ! -name stack_guard.cpp | sort |
  grep -v -x -F -f <(printf '%s\n' "${linux_only[@]}"))
clang-tidy --quiet -p "$build_dir" "${sources[@]}" 2>/dev/null
clang-tidy --quiet -p "$linux_build_dir" "${linux_only[@]}" 2>/dev/null
# The C++ runtime hooks exist only in the Windows build, outside the host's
# compilation database.
clang-tidy --quiet "${windows_only[@]}" -- -std=c++20 -Isrc 2>/dev/null
echo "clang-tidy: no findings in $((${#sources[@]} + ${#linux_only[@]} + ${#windows_only[@]})) files"

cppcheck --enable=warning,style,performance,portability --std=c++20 --inline-suppr --quiet \
  --error-exitcode=1 -I src src
echo "cppcheck: no findings"
