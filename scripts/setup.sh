#!/usr/bin/env bash
# Installs what the planner needs to build, run and test on Debian. Safe to run again:
# packages already present are skipped.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libfuzzer-14-dev libclang-rt-14-dev
    fonts-noto-cjk xvfb xauth openbox x11-utils
    libical-dev tzdata
    libx11-dev hyperfine linux-perf time python3
    qt6-translations-l10n
    dpkg-dev file appstream desktop-file-utils
    libqt6sql6-sqlite qtkeychain-qt6-dev
    python3-radicale xandikos python3-caldav vdirsyncer
    dbus dbus-bin gnome-keyring libsecret-tools poppler-utils ccache
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
