#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, cross-compiles
# the tests, prepares the build's Wine prefix, runs CTest under Wine with Xvfb,
# and also builds the shipping 32-bit program. Extra arguments go to CTest
# (for example -R pool); then builds the platform-neutral code natively with
# sanitizers and runs its tests. Exit code non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
trap quillmere_stop_services EXIT

echo "== building the tests for $QUILLMERE_ARCH in $QUILLMERE_BUILD"
quillmere_configure "$QUILLMERE_BUILD" "$QUILLMERE_ARCH" \
  -DQUILLMERE_VIDEO_HOST="$QUILLMERE_TEST_VIDEO_HOST" -DQUILLMERE_LIVE_HOST="$QUILLMERE_TEST_LIVE_HOST"
cmake --build "$QUILLMERE_BUILD"

if [ "$QUILLMERE_ARCH" != i686 ]; then
  echo "== building the shipping 32-bit program (this machine cannot run 32-bit code)"
  quillmere_configure build/release-i686 i686 -DQUILLMERE_TESTS=OFF
  cmake --build build/release-i686
fi

bash scripts/prefix-init.sh
quillmere_start_xvfb
/usr/lib/wine/wineserver -p 2>/dev/null || true   # keep one server for all tests
# Start Wine's own services now, with no output attached: whichever program
# starts them first hands them its output, and a test's output that never
# closes keeps CTest waiting.
"$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
status=0
(cd "$QUILLMERE_BUILD" && ctest --output-on-failure -j2 "$@") || status=$?

echo "== native sanitizer tests of the platform-neutral code"
cmake -S tests/native -B "$QUILLMERE_BUILD/native" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$QUILLMERE_BUILD/native"
(cd "$QUILLMERE_BUILD/native" && ctest --output-on-failure -j2) || status=1
exit "$status"
