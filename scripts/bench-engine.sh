#!/usr/bin/env bash
# The download engine beside curl (one connection) and aria2c (-x8 -s8), all
# fetching the same 200 MB file from the local HTTPS CDN in the same run:
# first limited to 10 MB/s per connection, then unlimited on loopback. Every
# result is compared byte for byte with curl's. Needs a build with the engine
# and xldl_bench (scripts/env.sh's build folder, or QUILLMERE_BUILD) and its
# prepared Wine prefix (scripts/prefix-init.sh).
#
#     scripts/bench-engine.sh [size in MB, default 200]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh
SIZE_MB="${1:-200}"
PORT=18580
CONTROL=$((PORT + 1))
WORK="$(mktemp -d /tmp/quillmere-bench.XXXXXX)"
trap 'curl -s "http://127.0.0.1:$CONTROL/stop" >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT

cmake --build "$QUILLMERE_BUILD" --target xldl_bench >/dev/null
python3 tests/fixtures/cdn/cdn_server.py --quiet --port $PORT --control-port $CONTROL \
  --cert "$QUILLMERE_BUILD/tls/server.pem" --key "$QUILLMERE_BUILD/tls/server.key" --idle 120 >/dev/null 2>&1 &
for _ in $(seq 1 100); do curl -s "http://127.0.0.1:$CONTROL/ping" >/dev/null && break; sleep 0.1; done
curl -s "http://127.0.0.1:$CONTROL/put?name=bench.bin&size=$((SIZE_MB * 1048576))" >/dev/null
URL="https://127.0.0.1:$PORT/files/bench.bin"
CA="$QUILLMERE_BUILD/tls/ca.pem"

seconds() { python3 -c "import sys; print('%.2f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$@"; }
now() { date +%s.%N; }
report() { # name seconds
  python3 -c "import sys; s=float(sys.argv[2]); print('  %-28s %7.2f s %8.1f MB/s' % (sys.argv[1], s, $SIZE_MB / s))" "$1" "$2"
}

run_round() { # label
  echo "== $1 ($SIZE_MB MB)"
  rm -rf "$WORK"/*; mkdir -p "$WORK/curl" "$WORK/aria2" "$WORK/engine"
  local t0 t1
  t0=$(now); curl -s --cacert "$CA" -o "$WORK/curl/bench.bin" "$URL"; t1=$(now)
  report "curl (1 connection)" "$(seconds "$t0" "$t1")"
  if [ "${2:-}" = aria2 ]; then
    t0=$(now)
    aria2c -q -x8 -s8 --ca-certificate="$CA" --allow-overwrite=true --file-allocation=none \
      -d "$WORK/aria2" -o bench.bin "$URL"
    t1=$(now)
    report "aria2c -x8 -s8" "$(seconds "$t0" "$t1")"
    cmp "$WORK/curl/bench.bin" "$WORK/aria2/bench.bin"
  fi
  local out
  out=$(cd "$QUILLMERE_BUILD/bin" && WINEDEBUG=-all "$WINELOADER" ./xldl_bench.exe "$URL" "Z:${WORK//\//\\}\\engine" bench.bin)
  report "engine ($(echo "$out" | cut -d' ' -f3) connections)" "$(echo "$out" | cut -d' ' -f1)"
  cmp "$WORK/curl/bench.bin" "$WORK/engine/bench.bin"
}

curl -s "http://127.0.0.1:$CONTROL/fault?target=bench.bin&rate=10000000" >/dev/null
run_round "limited to 10 MB/s per connection" aria2
curl -s "http://127.0.0.1:$CONTROL/clear" >/dev/null
run_round "unlimited, loopback" aria2
echo "(machine: $(nproc) cores, $(wine64 --version 2>/dev/null || /usr/lib/wine/wine64 --version), engine timed from XL_StartTask to COMPLETE)"
