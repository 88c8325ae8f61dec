#!/usr/bin/env bash
# The whole road of a video, shown: builds everything, starts the local HTTPS
# CDN with three videos, the simulated WeChat, and Quillmere from a fresh
# program folder with Chinese characters in its path; then "plays" three
# videos, a link that answers 404 and a live stream, one after another, and
# waits until every video lies byte-exact in the program's video folder.
# Runs on $DISPLAY when there is one, otherwise on Xvfb; screenshots go to the
# folder it names at the start. Exit code 0 when the road was walked to its end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh

echo "== building for $QUILLMERE_ARCH in $QUILLMERE_BUILD"
quillmere_configure "$QUILLMERE_BUILD" "$QUILLMERE_ARCH" \
  -DQUILLMERE_VIDEO_HOST="$QUILLMERE_TEST_VIDEO_HOST" -DQUILLMERE_LIVE_HOST="$QUILLMERE_TEST_LIVE_HOST"
cmake --build "$QUILLMERE_BUILD" --target Quillmere wechat_fixture window_probe trust_ca
bash scripts/prefix-init.sh
export LANG=zh_CN.UTF-8 LC_ALL=

demo="$QUILLMERE_BUILD/demo"
shots="$QUILLMERE_ROOT/screenshots/demo-$(date +%Y%m%d-%H%M%S)"
program_folder="$demo/视频号 下载演示"
cdn_files="$demo/cdn"
control="$demo/wechat-control"
cdn_pid="" wechat_pid="" quillmere_pid=""

cleanup() {
  for pid in $quillmere_pid $wechat_pid $cdn_pid; do kill "$pid" 2>/dev/null || true; done
  quillmere_stop_services
}
trap cleanup EXIT

rm -rf "$demo" && mkdir -p "$program_folder" "$cdn_files" "$shots"
cp "$QUILLMERE_BUILD/bin/Quillmere.exe" "$program_folder/"
echo "== screenshots: $shots"

quillmere_start_xvfb
/usr/lib/wine/wineserver -p 2>/dev/null || true
# Start Wine's own services now, with no output attached: whichever program
# starts them first hands them its output, which then never closes.
"$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
shot() { import -display "$DISPLAY" -window root "$shots/$1.png" 2>/dev/null && echo "   screenshot $1.png"; }
probe() { "$WINELOADER" "$QUILLMERE_BUILD/bin/window_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

# Three videos of different sizes; the CDN serves the file named after a link's key.
head -c $((3 * 1024 * 1024)) /dev/urandom > "$cdn_files/demo-video-one"
head -c $((9 * 1024 * 1024)) /dev/urandom > "$cdn_files/demo-video-two"
head -c $((24 * 1024 * 1024)) /dev/urandom > "$cdn_files/demo-video-three"
port="${QUILLMERE_TEST_VIDEO_HOST##*:}"
python3 tests/fixtures/cdn/cdn_server.py --port "$port" --control-port 18449 --root "$cdn_files" \
  --log "$demo/cdn.log" --idle 0 --max-time 900 &
cdn_pid=$!

"$WINELOADER" "$QUILLMERE_BUILD/bin/WeChat.exe" --browsers 1 --control "Z:${control//\//\\}" &
wechat_pid=$!
for _ in $(seq 1 100); do grep -q ready "$control.out" 2>/dev/null && break; sleep 0.2; done

"$WINELOADER" "$program_folder/Quillmere.exe" &
quillmere_pid=$!
for _ in $(seq 1 150); do probe status >/dev/null && break; sleep 0.2; done
sleep 2
echo "== Quillmere started: $(probe status)"
shot 01-started

video_link() { echo "https://$QUILLMERE_TEST_VIDEO_HOST/251/20302/stodownload?encfilekey=$1&token=demo&taskid=0"; }
play() { echo "== playing: $1"; printf 'heap %s\n' "$1" >> "$control.0"; sleep 4; }

play "$(video_link demo-video-one)"
shot 02-first-video
play "$(video_link no-such-video)"
play "$(video_link demo-video-two)"
play "https://$QUILLMERE_TEST_LIVE_HOST/live/demo-stream.flv?token=live&combuf=abcdef"
play "$(video_link demo-video-three)"
shot 03-all-played

echo "== waiting for the downloads"
done_count=0
for _ in $(seq 1 120); do
  done_count=$(probe table | grep -c '| 100%$' || true)
  [ "$done_count" -ge 3 ] && break
  sleep 1
done
probe table
echo "   status line: $(probe status)"
shot 04-downloaded

failures=0
for name in demo-video-one demo-video-two demo-video-three; do
  id=$(probe table | grep "encfilekey=$name&" | cut -d' ' -f1)
  file=$(ls "$program_folder/video/${id}_"?????.mp4 2>/dev/null | head -n 1 || true)
  if [ -n "$file" ] && cmp -s "$file" "$cdn_files/$name"; then
    echo "   row $id: $(basename "$file") is byte-identical to what the CDN served"
  else
    echo "   row $id: no byte-identical file for $name" >&2; failures=$((failures + 1))
  fi
done
probe table | grep -q 'no-such-video' && { echo "   the 404 link was listed" >&2; failures=$((failures + 1)); }
probe table | grep -q '直播 | .* | 不支持下载$' || { echo "   the live stream row is missing" >&2; failures=$((failures + 1)); }
echo "   engine deployed beside the program: $(ls "$demo"/*xldld/XLDld 2>/dev/null | tr '\n' ' ')"

echo "== closing the window"
probe close || true
wait "$quillmere_pid" 2>/dev/null || true
quillmere_pid=""
sleep 2
if pgrep -f MiniThunderPlatform.exe >/dev/null; then
  echo "   an engine process was left behind" >&2; failures=$((failures + 1))
else
  echo "   no engine process left behind"
fi
echo "== screenshots are in $shots"
[ "$failures" -eq 0 ] && echo "== demo complete" || { echo "== demo found $failures problem(s)" >&2; exit 1; }
