#!/usr/bin/env bash
# Makes the archives the archiver tests extract: a fixture folder (executables,
# DLLs, text, an empty file, an empty folder, Chinese names, fixed times, a
# read-only file) packed by Debian's 7-Zip with the settings 7-Zip users pick,
# broken copies of them, and hand-made hostile archives. Run by CTest before
# the tests, under Linux; the tests then read $QUILLMERE_BUILD/archiver-fixtures.
set -euo pipefail
: "${QUILLMERE_BUILD:?}"
here="$(cd "$(dirname "$0")" && pwd)"
out="$QUILLMERE_BUILD/archiver-fixtures"
wine_lib=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
rm -rf "$out"
mkdir -p "$out/tree/bin" "$out/tree/docs/深层" "$out/tree/empty folder" "$out/tree/中文目录"

cp "$wine_lib/notepad.exe" "$out/tree/bin/notepad.exe"
cp "$wine_lib/advpack.dll" "$out/tree/bin/advpack.dll"
cp "$wine_lib/cabinet.dll" "$out/tree/bin/cabinet.dll"
seq 1 20000 | sed 's/$/ lines of text that compress well/' > "$out/tree/docs/readme.txt"
printf 'notes\r\n' > "$out/tree/docs/深层/notes.txt"
printf '视频号\n' > "$out/tree/中文目录/视频文件.txt"
: > "$out/tree/empty.txt"
head -c 300000 /dev/urandom > "$out/tree/random.bin"
printf 'keep me\n' > "$out/tree/readonly.txt"
find "$out/tree" -exec touch -d '2021-03-04 05:06:07 UTC' {} +
chmod a-w "$out/tree/readonly.txt"

pack() { # name, 7zz switches...
  local name="$1"; shift
  (cd "$out/tree" && 7zz a -bd -bso0 -bsp0 "$@" "$out/$name.7z" .)
}
pack default
pack mx0 -mx0
pack mx9 -mx9
pack lzma -m0=LZMA
pack nonsolid -ms=off
pack plainheader -mhc=off
# Dictionaries smaller than the files, so the decoders' windows wrap around.
pack smalldict2 -m0=LZMA2:d=64k
pack smalldict1 -m0=LZMA:d=64k
pack ppmd -m0=PPMd
pack encrypted -psecret

# One flipped byte in the middle of the stored data, and an archive cut short.
cp "$out/mx0.7z" "$out/corrupt.7z"
size=$(stat -c %s "$out/corrupt.7z")
printf '\x5a' | dd of="$out/corrupt.7z" bs=1 seek=$((size / 2)) conv=notrunc status=none
head -c $(( $(stat -c %s "$out/default.7z") / 2 )) "$out/default.7z" > "$out/truncated.7z"

python3 "$here/make_copy_7z.py" "$out/dotdot.7z" 'good.txt=fine' '..\evil.txt=escaped'
python3 "$here/make_copy_7z.py" "$out/drive.7z" 'good.txt=fine' 'C:\evil.txt=escaped'
python3 "$here/make_copy_7z.py" "$out/rooted.7z" '\evil.txt=escaped'
python3 "$here/make_copy_7z.py" "$out/device.7z" 'sub/CON.txt=device'
python3 "$here/make_copy_7z.py" "$out/hidden.7z" --attributes 0x23 'hidden.txt=secret'
python3 "$here/make_copy_7z.py" "$out/hugeheader.7z" --huge-header
python3 "$here/make_copy_7z.py" "$out/hugecount.7z" --huge-file-count
python3 "$here/make_copy_7z.py" "$out/hugedictionary.7z" --huge-dictionary
printf 'this is not an archive at all, only text' > "$out/notarchive.7z"
