#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz natively (clang, ASan, UBSan) and
# runs each for a bounded time from its seed corpus; not part of test.sh.
#   usage: fuzz.sh [seconds per target, default 60] [target ...]
# New inputs go to <build>/corpus/<target> (the seeds stay untouched); a crash
# is saved as <build>/crash-<target>-* and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
build="${QUILLMERE_FUZZ_BUILD:-build/fuzz}"
cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_archive fuzz_command_line fuzz_discovery_text fuzz_http_headers fuzz_engine_http)
status=0
for target in "${targets[@]}"; do
  echo "== $target for ${seconds}s"
  mkdir -p "$build/corpus/$target"
  # 2 GB bounds what an archive may make the decoder allocate (its
  # dictionary limit is 512 MB, and the sanitizers add their own share).
  "$build/$target" -max_total_time="$seconds" -rss_limit_mb=2560 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/crash-$target-" "$build/corpus/$target" "tests/fuzz/corpus/$target" \
    2>"$build/$target.log" || { status=1; tail -40 "$build/$target.log"; }
  grep -E "^stat::number_of_executed_units|cov:" "$build/$target.log" | tail -2
done
exit "$status"
