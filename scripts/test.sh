#!/usr/bin/env bash
# Sets up the machine, builds, and runs the whole test suite: every test, then the core tests
# once more under AddressSanitizer and UndefinedBehaviorSanitizer, then the file reader's
# fuzzer over its seed files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

echo "== Sanitizer build of the core (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVRINO_CORE_ONLY=ON \
    -DTAVRINO_SANITIZE=ON -DTAVRINO_BENCH=OFF >/dev/null
cmake --build build-sanitize
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs")

if [ -f fuzz/CMakeLists.txt ]; then
    echo "== Fuzzer over its seed files"
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRINO_CORE_ONLY=ON -DTAVRINO_FUZZ=ON \
        -DTAVRINO_BENCH=OFF >/dev/null
    cmake --build build-fuzz --target fuzz_book_reader
    # New inputs go to a scratch folder first in line, so the seed files stay as committed; a
    # crash leaves its input there too, and the folder is kept when the run fails.
    scratch=$(mktemp -d)
    echo "fuzzer scratch folder: $scratch"
    build-fuzz/fuzz/fuzz_book_reader -runs=20000 -max_len=4096 -max_total_time=30 \
        -artifact_prefix="$scratch/" "$scratch" fuzz/corpus
    rm -rf "$scratch"
fi

echo "== Build and every test"
scripts/build.sh
(cd build && ctest --output-on-failure -j "$jobs")
