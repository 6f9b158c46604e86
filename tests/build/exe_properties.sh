#!/usr/bin/env bash
# What a Windows tool is expected to carry, read off the built exe: only
# Windows' own DLLs among its imports (it is statically linked), a version
# resource with the project's version, a manifest asking for no elevation,
# and the hardening flags of its PE header.
set -euo pipefail
exe="$1/vantle_native.exe"
version="$(cat "$1/version.txt")"

imports="$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
echo "imports: $(echo $imports)"
for dll in $imports; do
  case "$dll" in
    kernel32.dll|msvcrt.dll|user32.dll|shell32.dll) ;;
    *) echo "unexpected import: $dll"; exit 1 ;;
  esac
done

resources="$(x86_64-w64-mingw32-windres -i "$exe" -O rc)"
grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resources" || { echo "no version $version"; exit 1; }
grep -q "VALUE \"ProductName\", \"vantle_native\"" <<<"$resources" || { echo "no product name"; exit 1; }
grep -q 'requestedExecutionLevel level=""asInvoker""' <<<"$resources" || { echo "no asInvoker manifest"; exit 1; }
echo "version $version and manifest present"

# ASLR with 64-bit entropy (0x20, 0x40, and the relocations it needs), DEP
# (0x100) and terminal-server aware (0x8000).
headers="$(x86_64-w64-mingw32-objdump -p "$exe")"
characteristics=$((16#$(sed -n 's/^DllCharacteristics\s*//p' <<<"$headers")))
required=$((0x20 | 0x40 | 0x100 | 0x8000))
[ $((characteristics & required)) -eq $required ] || { printf 'DllCharacteristics 0x%x lack 0x%x\n' "$characteristics" "$required"; exit 1; }
x86_64-w64-mingw32-objdump -h "$exe" | grep -q ' \.reloc ' || { echo "no relocations: ASLR cannot move the image"; exit 1; }
printf 'DllCharacteristics 0x%x: high-entropy ASLR, DEP, terminal-server aware\n' "$characteristics"
