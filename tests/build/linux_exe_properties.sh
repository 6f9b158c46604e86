#!/usr/bin/env bash
# Properties of the built vantle-native: stripped; a position-independent
# image with read-only relocations bound at start; and only the C and C++
# runtimes and XCB (libxcb, libxcb-xfixes) as the libraries it asks for.
#   linux_exe_properties.sh LINUX_BUILD_DIR
set -euo pipefail
exe="$1/vantle-native"
fail() { echo "linux_exe_properties: $*" >&2; exit 1; }

! readelf -S "$exe" | grep -q "\.symtab" || fail "not stripped"
readelf -h "$exe" | grep -q "DYN (Position-Independent Executable" || fail "not a position-independent executable"
readelf -l "$exe" | grep -q "GNU_RELRO" || fail "no read-only relocations"
readelf -d "$exe" | grep -q "FLAGS.*BIND_NOW" || fail "relocations not bound at start"
needed="$(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')"
expected="libc.so.6 libgcc_s.so.1 libstdc++.so.6 libxcb-xfixes.so.0 libxcb.so.1 "
[ "$needed" = "$expected" ] || fail "asks for: $needed (expected: $expected)"
echo "vantle-native: $(stat -c %s "$exe") bytes, stripped, PIE, full RELRO; needs $needed"
