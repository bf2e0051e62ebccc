#!/usr/bin/env bash
# Sets up the machine, builds the planner (only the planner: not the tests or the benchmarks),
# and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh tavrino
exec build/tavrino "$@"
