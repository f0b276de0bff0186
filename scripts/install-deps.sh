#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Velmora need.
# Does nothing when they are all present already.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev
    libjpeg62-turbo-dev
    libgtest-dev libgmock-dev googletest
    xvfb xauth x11-apps imagemagick xdotool
    # xdg-open: opens the log, the user guide and the web site with their programs
    xdg-utils
    # notify-send: a scheduled run that failed tells the person on the desktop
    libnotify-bin
    # The user guide is made from the README at build time
    cmark-gfm
    # Names such as "🐱 cats" are shown as text, not as empty boxes: a colour emoji font and
    # one with wide Unicode coverage
    fonts-noto-color-emoji fonts-dejavu-core
    # The desktop entry and the AppStream metadata are validated; the package is built by CPack
    desktop-file-utils appstream dpkg-dev
    rsync
    # Volume UUIDs and labels: the udev database, and the device itself where udev keeps no
    # record (loop devices, containers)
    libudev-dev libblkid-dev
    # The test disk that loses power is a FUSE file system of the tests' own
    libfuse3-dev
    # Real media for the tests of each file system a backup disk comes with: exFAT, FAT32 and
    # NTFS through FUSE, ext4 loop-mounted
    exfatprogs exfat-fuse dosfstools fusefat ntfs-3g e2fsprogs fuse3
    # A private session bus for the test of the desktop notifications (Qt's D-Bus module comes
    # with qt6-base-dev)
    dbus-daemon
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
