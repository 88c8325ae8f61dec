# Sourced by the scripts: picks the Windows architecture that this machine can
# run under Wine, the build folder and the Wine prefix inside it.
#
# The product is a 32-bit program. Some kernels run no 32-bit code at all (their
# IA-32 emulation is off); there Wine cannot start a 32-bit Windows program, so
# the tests and the demo build the same sources for x86-64 and run them under
# 64-bit Wine. QUILLMERE_ARCH=i686 or x86_64 overrides the choice.
QUILLMERE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -z "${QUILLMERE_ARCH:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    QUILLMERE_ARCH=i686
  else
    QUILLMERE_ARCH=x86_64
  fi
fi
case "$QUILLMERE_ARCH" in
  i686) WINELOADER=/usr/lib/wine/wine ;;
  x86_64) WINELOADER=/usr/lib/wine/wine64 ;;
  *) echo "QUILLMERE_ARCH must be i686 or x86_64" >&2; return 1 ;;
esac
QUILLMERE_BUILD="${QUILLMERE_BUILD:-$QUILLMERE_ROOT/build/test-$QUILLMERE_ARCH}"
WINEPREFIX="$QUILLMERE_BUILD/wineprefix"
WINEDEBUG="${WINEDEBUG:--all}"
export QUILLMERE_ROOT QUILLMERE_ARCH QUILLMERE_BUILD WINELOADER WINEPREFIX WINEDEBUG

# The loopback host names the tests and the demo build with: the local CDN serves
# both the videos and (as far as the program cares) the live streams.
QUILLMERE_TEST_VIDEO_HOST="127.0.0.1:18443"
QUILLMERE_TEST_LIVE_HOST="127.0.0.1:18444"

quillmere_configure() { # build-dir arch [extra cmake args]
  local dir="$1" arch="$2"; shift 2
  cmake -S "$QUILLMERE_ROOT" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$QUILLMERE_ROOT/cmake/toolchain-$arch.cmake" "$@" >/dev/null
}

# Starts Xvfb on a free display unless one is given; sets DISPLAY.
quillmere_start_xvfb() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 91 120); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    QUILLMERE_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    kill "$QUILLMERE_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2; return 1
}

quillmere_stop_services() {
  [ -n "${QUILLMERE_XVFB_PID:-}" ] && kill "$QUILLMERE_XVFB_PID" 2>/dev/null || true
  WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
}
