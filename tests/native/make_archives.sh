#!/usr/bin/env bash
# Makes the archives the native decode tests read: one tree (x86 code, text,
# a one-byte and an empty file) packed with each coder chain the reader knows.
#   usage: make_archives.sh <output folder>
set -euo pipefail
out="$1"
rm -rf "$out" && mkdir -p "$out/tree/sub"
cp /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/expand.exe "$out/tree/app.exe"
seq 1 20000 > "$out/tree/sub/numbers.txt"
printf 'x' > "$out/tree/one.txt"
: > "$out/tree/empty.txt"
cd "$out/tree"
pack() { local name="$1"; shift; 7zz a -bso0 -bsp0 "$@" "$out/$name.7z" . ; }
pack lzma2_bcj -m0=BCJ -m1=LZMA2 -mhc=off
pack encoded_header
pack lzma -m0=LZMA -ms=off -mhc=off
pack bcj2 -mx9 -mf=BCJ2 -mhc=off
pack copy -mx0 -mhc=off
pack small_dictionary -m0=LZMA2:d=64k
