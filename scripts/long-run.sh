#!/usr/bin/env bash
# The long run: the real Quillmere.exe under Wine for many minutes while the
# simulated WeChat plays links at a steady pace (new videos, 404s, live streams,
# repeats) and the local CDN breaks some downloads for a while. Samples the
# program's handles and private memory every minute; at the end checks that
# every video lies byte-identical in the video folder and that the program
# closes cleanly. Not part of CI or scripts/test.sh.
# Usage: long-run.sh [minutes (30)] [seed (1)]. Exit code 0 when the run passed.
# The output and the CDN's request log are kept in $QUILLMERE_BUILD/long-run.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-30}" seed="${2:-1}"
bash scripts/setup.sh
source scripts/env.sh
# Other hosts (for a build folder configured with other ports) may be given.
video_host="${QUILLMERE_LONG_RUN_VIDEO_HOST:-$QUILLMERE_TEST_VIDEO_HOST}"
live_host="${QUILLMERE_LONG_RUN_LIVE_HOST:-$QUILLMERE_TEST_LIVE_HOST}"

echo "== building for $QUILLMERE_ARCH in $QUILLMERE_BUILD"
quillmere_configure "$QUILLMERE_BUILD" "$QUILLMERE_ARCH" \
  -DQUILLMERE_VIDEO_HOST="$video_host" -DQUILLMERE_LIVE_HOST="$live_host"
cmake --build "$QUILLMERE_BUILD" --target Quillmere wechat_fixture trust_ca long_run
bash scripts/prefix-init.sh
export LANG=zh_CN.UTF-8 LC_ALL= QUILLMERE_SOURCE="$QUILLMERE_ROOT" QUILLMERE_BUILD

logs="$QUILLMERE_BUILD/long-run"
mkdir -p "$logs"
rm -f "$logs/cdn.log"
trap quillmere_stop_services EXIT
quillmere_start_xvfb
/usr/lib/wine/wineserver -p 2>/dev/null || true
# Start Wine's own services now, with no output attached: whichever program
# starts them first hands them its output, which then never closes.
"$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true

echo "== the long run: $minutes minutes, seed $seed; output in $logs/long-run.log"
status=0
"$WINELOADER" "$QUILLMERE_BUILD/bin/long_run.exe" "$minutes" "$seed" "$logs/cdn.log" </dev/null 2>&1 |
  tr -d '\r' | tee "$logs/long-run.log" || status=$?
grep -q '^PASS' "$logs/long-run.log" || status=1
exit "$status"
