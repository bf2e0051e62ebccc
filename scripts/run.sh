#!/usr/bin/env bash
# Sets up the machine, builds, and starts the planner.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/tavrino "$@"
