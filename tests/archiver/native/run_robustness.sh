#!/usr/bin/env bash
# Builds the pure archive code natively with AddressSanitizer and UBSan and
# runs robustness_check over small archives made here (plain and compressed
# headers, solid LZMA2 with BCJ, LZMA, BCJ2, Copy). Run by hand; not part of
# the Wine suite.   usage: run_robustness.sh [work folder]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$here/../../../components/archiver/src"
work="${1:-$(mktemp -d)}"
mkdir -p "$work/tree/sub"
cp /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/expand.exe "$work/tree/app.exe"
seq 1 3000 > "$work/tree/sub/numbers.txt"
printf 'x' > "$work/tree/one.txt"
: > "$work/tree/empty.txt"
rm -f "$work"/*.7z
(cd "$work/tree" && 7zz a -bso0 -bsp0 -mhc=off "$work/plain.7z" . \
  && 7zz a -bso0 -bsp0 "$work/encoded.7z" . \
  && 7zz a -bso0 -bsp0 -m0=LZMA -ms=off "$work/lzma.7z" . \
  && 7zz a -bso0 -bsp0 -mx9 -mhc=off "$work/bcj2.7z" . \
  && 7zz a -bso0 -bsp0 -mx0 -mhc=off "$work/copy.7z" .)
sanitize="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=undefined"
gcc $sanitize -c /usr/include/lzma/LzmaDec.c -o "$work/LzmaDec.o"
g++ $sanitize -std=c++17 -I"$src" -I/usr/include/lzma "$here/robustness_check.cpp" \
  "$src"/archive_reader.cpp "$src"/branch_coders.cpp "$src"/crc32.cpp "$src"/folder_reader.cpp \
  "$src"/lzma_coders.cpp "$work/LzmaDec.o" -o "$work/robustness_check"
"$work/robustness_check" "$work"/*.7z
