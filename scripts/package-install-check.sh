#!/usr/bin/env bash
# Installs dist/tavrino_*.deb on a pristine Debian 12 root (no build tools) made with
# debootstrap in a temporary folder, then checks what a user gets: the book tool runs, the menu
# entry and the AppStream file validate, and the planner starts from the menu entry's Exec line
# on a virtual display. Needs root (debootstrap, chroot) and the network; takes some minutes.
# The Debian mirror is the one this machine's apt sources name.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(ls dist/tavrino_*.deb 2>/dev/null | tail -n 1 || true)
if [ -z "$deb" ]; then
    echo "no package in dist/: run scripts/package.sh first" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "run as root: debootstrap and chroot need it" >&2
    exit 2
fi
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap

# The first Debian mirror of this machine's apt sources (deb822 or one-line form).
mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ {print $2}' | grep -v -e security -e '^$' | head -n 1 || true)
if [ -z "$mirror" ]; then
    mirror=$(grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        grep -v security | awk '{print $2}' | head -n 1 || true)
fi
if [ -z "$mirror" ]; then
    echo "no Debian mirror found in the apt sources" >&2
    exit 2
fi

root=$(mktemp -d /tmp/tavrino-root.XXXXXX)
cleanup() {
    for m in proc sys dev/pts dev; do
        mountpoint -q "$root/$m" && umount -l "$root/$m" || true
    done
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "== debootstrap bookworm (minbase)"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 ||
    { tail -n 20 "$root.log"; exit 1; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "== no build tools in the root"
for tool in gcc g++ cc cmake make; do
    if in_root sh -c "command -v $tool" >/dev/null; then
        echo "the root has $tool" >&2
        exit 1
    fi
done

echo "== apt-get install ./$(basename "$deb")"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "/tmp/$(basename "$deb")" >/dev/null
in_root dpkg -s tavrino | grep -E '^(Status|Version):'

echo "== tavrino-book --help"
in_root tavrino-book --help >"$root/tmp/help.txt"
head -n 1 "$root/tmp/help.txt"

echo "== desktop-file-validate and appstreamcli validate"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    desktop-file-utils appstream xvfb xauth x11-utils >/dev/null
in_root desktop-file-validate /usr/share/applications/tavrino.desktop
in_root appstreamcli validate --no-net /usr/share/metainfo/tavrino.metainfo.xml

echo "== the planner from the menu entry, on a virtual display"
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/tavrino.desktop" | sed 's/ *%[fFuU]//')
in_root sh -c "mkdir -p /tmp/home && cd /tmp/home && HOME=/tmp/home xvfb-run -a -s '-screen 0 1280x1024x24' \
    sh -c '$exec_line & pid=\$!; sleep 8; xwininfo -root -tree | grep -q \"Tavrino\"; found=\$?; \
    kill \$pid; [ \$found -eq 0 ]'"
echo "the planner's window came up"
echo "== all checks passed"
