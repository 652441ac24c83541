#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# into build-fuzz/ (or $BUILD_DIR) and fuzzes each for SECONDS (default 60), starting from its
# committed seed corpus. Fails when a target crashes, leaks, hangs or breaks one of its checks;
# the input that did it is left in $BUILD_DIR/artifacts/ and named on the output.
#
# Usage: scripts/fuzz.sh [SECONDS]     (FUZZ_TARGETS="string_fuzzer ..." picks targets)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
seconds=${1:-60}
jobs=${JOBS:-2}

mkdir -p "$build"
CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWGLEN_ENGINE_ONLY=ON -DMARROWGLEN_BUILD_TESTS=OFF \
  -DMARROWGLEN_FUZZ=ON -DMARROWGLEN_LIBFUZZER=ON -DMARROWGLEN_SANITIZE='address;undefined' \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }

targets=${FUZZ_TARGETS:-$(cd "$root/fuzz" && ls *_fuzzer.cpp | sed 's/\.cpp$//')}
known=$(cmake --build "$build" --target help)
built=()
for target in $targets; do
  # A target whose sources are not there yet (see fuzz/CMakeLists.txt) is not configured.
  if grep -q "^$target:" <<<"$known"; then
    built+=("$target")
  else
    echo "== $target: not configured, skipped"
  fi
done
cmake --build "$build" -j "$jobs" --target "${built[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/artifacts"
failed=0
for target in "${built[@]}"; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  echo "== fuzzing $target for ${seconds}s"
  if ! "$build/fuzz/$target" "$work" "$root/fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
      >"$build/$target.log" 2>&1; then
    tail -n 60 "$build/$target.log"
    echo "== $target FAILED; inputs: $(ls "$build/artifacts" | grep "^$target-" | tr '\n' ' ')"
    failed=1
  else
    grep -E "^stat::number_of_executed_units|^Done" "$build/$target.log" || true
  fi
done
exit $failed
