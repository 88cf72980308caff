#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Vantorix need,
# but only those that are missing. Sourced by run.sh and test.sh.
set -euo pipefail

VANTORIX_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
    libavfilter-dev libavdevice-dev libavcodec-extra
    libsdl2-dev
    qt6-base-dev qt6-qpa-plugins libqt6dbus6 dbus-daemon
    libgtest-dev
    xvfb xauth libxcb1-dev libxcb-damage0-dev
    clang-format-14
    desktop-file-utils appstream groff-base
)
# Scripts that need more (bench/fuzz.sh: clang) name it here, as a space-separated list.
VANTORIX_PACKAGES+=(${VANTORIX_EXTRA_PACKAGES:-})

missing=()
for pkg in "${VANTORIX_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
