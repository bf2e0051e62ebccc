#!/usr/bin/env bash
# Builds the benchmarks (Release) in build-bench/ and runs them once; the last lines give the
# costs as multiples of a plain read of the same file and the peak memory of loading it, then
# the month sheet's cost on the century against a book of one day, and printing's against a
# book of the week printed. Then, in build-bench-planner/ (the whole planner, Release), typing in
# the memo while a sync of a busy year runs against a local Radicale, as multiples of the same
# typing with no sync (a few minutes: the year is uploaded once, the planner started nine times).
# Extra arguments go to the benchmark, e.g. --benchmark_filter=Select.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRINO_CORE_ONLY=ON \
    -DTAVRINO_BENCH=ON >/dev/null
cmake --build build-bench --target tavrino_bench tavrino_sheet_bench tavrino_print_bench
build-bench/bench/tavrino_bench "$@"
build-bench/bench/tavrino_sheet_bench "$@"
build-bench/bench/tavrino_print_bench "$@"
cmake -S . -B build-bench-planner -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRINO_BENCH=ON >/dev/null
cmake --build build-bench-planner --target tavrino_typing_bench
build-bench-planner/bench/tavrino_typing_bench "$@"
