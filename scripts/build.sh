#!/usr/bin/env bash
# Configures and builds in build/: the targets named on the command line, or with none every
# target (the planner, the book tool, the tests and the benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "$#" -gt 0 ]; then
    cmake --build build --target "$@"
else
    cmake --build build
fi
