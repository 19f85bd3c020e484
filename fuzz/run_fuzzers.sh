#!/usr/bin/env bash
# Builds the fuzz targets with clang in build/fuzz and runs each for FUZZ_SECONDS (default 30) on its seed corpus.
# Fails when a target cannot be built or reports a crash, a leak, a timeout or a sanitizer finding; the input that
# caused it is left in build/fuzz/findings/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
seconds="${FUZZ_SECONDS:-30}"
jobs="${FUZZ_BUILD_JOBS:-2}"

CXX="${CXX_FUZZ:-clang++}"
if ! command -v "$CXX" >/dev/null; then
    echo "run_fuzzers.sh: $CXX not found; the fuzz targets need clang with libFuzzer" >&2
    exit 1
fi

generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
cmake -S "$root/fuzz" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$jobs"

mkdir -p "$build/findings"
status=0
for target in fuzz_formula fuzz_number_parsers; do
    work="$build/corpus/$target"  # grows while fuzzing; the seeds in the repository stay as they are
    mkdir -p "$work"
    echo "== $target: ${seconds}s"
    if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/$target" "$work" "$root/fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=600 \
        -artifact_prefix="$build/findings/$target-" -print_final_stats=1 2>"$build/$target.log"; then
        echo "run_fuzzers.sh: $target failed; see $build/$target.log and $build/findings/" >&2
        tail -n 40 "$build/$target.log" >&2
        status=1
    else
        grep -E '^(stat::number_of_executed_units|Done)' "$build/$target.log" || true
    fi
done
exit $status
