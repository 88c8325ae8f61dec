#!/usr/bin/env bash
# Extraction throughput of 7-zip32.dll under Wine beside Debian's 7zz, on the
# same 100 MB archive in the same run. Not a test: run it by hand after
# building archiver_bench (cmake --build $QUILLMERE_BUILD --target archiver_bench).
#   usage: bench_extract.sh [RUNS]      (QUILLMERE_BUILD, WINEPREFIX from scripts/env.sh)
set -euo pipefail
: "${QUILLMERE_BUILD:?}" "${WINEPREFIX:?}"
runs="${1:-3}"
work="$QUILLMERE_BUILD/archiver-bench"
wine_lib=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
loader="${WINELOADER:-/usr/lib/wine/wine64}"

if [ ! -f "$work/bench.7z" ]; then
  rm -rf "$work" && mkdir -p "$work/data"
  # About 100 MB of what the program carries: Windows executables and DLLs
  # (BCJ-filtered by 7-Zip) and some text.
  total=0
  for f in $(ls -S "$wine_lib"/*.dll "$wine_lib"/*.exe); do
    size=$(stat -c %s "$f")
    [ $((total + size)) -gt 95000000 ] && continue
    cp "$f" "$work/data/"
    total=$((total + size))
  done
  seq 1 600000 | sed 's/$/ a line of log text/' > "$work/data/log.txt"
  (cd "$work/data" && 7zz a -bd -bso0 -bsp0 "$work/bench.7z" .)
fi
bytes=$(du -sb "$work/data" | cut -f1)
echo "archive: $(stat -c %s "$work/bench.7z") bytes packed, $bytes bytes unpacked, $(ls "$work/data" | wc -l) files"

best=""
for _ in $(seq 1 "$runs"); do
  rm -rf "$work/out-7zz"
  start=$(date +%s.%N)
  7zz x -bd -bso0 -bsp0 -y "-o$work/out-7zz" "$work/bench.7z"
  end=$(date +%s.%N)
  best=$(awk -v s="$start" -v e="$end" -v b="$best" 'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
done
awk -v t="$best" -v n="$bytes" 'BEGIN { printf "7zz x:       %.3f s, %.1f MB/s\n", t, n / t / 1e6 }'

rm -rf "$work/out-dll"
out_win="Z:$(echo "$work/out-dll/" | tr / '\\')"
arc_win="Z:$(echo "$work/bench.7z" | tr / '\\')"
WINEDEBUG=-all "$loader" "$QUILLMERE_BUILD/bin/archiver_bench.exe" "$arc_win" "$out_win" "$bytes" "$runs"
cmp -s "$work/data/log.txt" "$work/out-dll/log.txt" && diff -rq "$work/data" "$work/out-dll" >/dev/null && echo "outputs identical"
