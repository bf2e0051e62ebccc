#!/usr/bin/env bash
# Sets up the machine, builds, and runs the whole test suite: every test, then the core tests
# once more under AddressSanitizer and UndefinedBehaviorSanitizer, then the file reader's
# fuzzer over its seed files, and last the Debian package's contents and dependencies.
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

echo "== The Debian package: contents, control fields, dependencies"
scripts/package.sh >/dev/null
deb=$(ls dist/tavrino_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/tavrino ./usr/bin/tavrino-book ./usr/share/applications/tavrino.desktop \
    ./usr/share/metainfo/tavrino.metainfo.xml ./usr/share/man/man1/tavrino.1.gz \
    ./usr/share/man/man1/tavrino-book.1.gz ./usr/share/icons/hicolor/32x32/apps/tavrino.png \
    ./usr/share/icons/hicolor/64x64/apps/tavrino.png \
    ./usr/share/icons/hicolor/256x256/apps/tavrino.png; do
    grep -qx "$path" <<<"$contents" || { echo "package lacks $path" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in "libqt6widgets6" "libqt6printsupport6" "fonts-noto-cjk | fonts-ipafont-gothic" \
    "qt6-translations-l10n" "tzdata" "libqt6sql6-sqlite"; do
    grep -qF "$dep" <<<"$depends" || { echo "Depends lacks $dep: $depends" >&2; exit 1; }
done
grep -qF "ibus-mozc | fcitx5-mozc" <<<"$(dpkg-deb -f "$deb" Recommends)" ||
    { echo "Recommends lacks the input method" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] ||
    { echo "unexpected package version $(dpkg-deb -f "$deb" Version)" >&2; exit 1; }
desktop-file-validate resources/tavrino.desktop
appstreamcli validate --no-net build/tavrino.metainfo.xml >/dev/null
apt-get install --simulate -qq "./$deb" >/dev/null
echo "package ok: $deb"
