#!/usr/bin/env bash
# Builds the Debian package dist/tavrino_<version>-<release>_<arch>.deb from the build/ tree:
# sets up the machine as the other commands do, then builds only the two programs (the tests are
# not part of the package).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
    cmake build >/dev/null
fi
cmake --build build --target tavrino tavrino-book
mkdir -p dist
rm -f dist/tavrino_*.deb
(cd build && cpack -G DEB >/dev/null)
ls dist/tavrino_*.deb
