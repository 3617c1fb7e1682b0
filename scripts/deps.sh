#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Only what is missing is installed; apt's lists are refreshed once, first.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-charts-dev libqt6opengl6-dev
    libsqlite3-dev libsndfile1-dev libpulse-dev libxcb1-dev
    libgtest-dev libgmock-dev libbenchmark-dev libnm-dev
    # running the program on a desktop
    qt6-qpa-plugins
    # tests: display, window manager, tray host, sound server and their tools
    xvfb openbox trayer pulseaudio pulseaudio-utils xdotool x11-utils x11-apps
    imagemagick sqlite3 sox dbus dunst
    # tests: a private NetworkManager with an OpenVPN server
    network-manager network-manager-openvpn openvpn iproute2 openssl iputils-ping
    # sanitizer and fuzz builds
    clang libclang-rt-14-dev lld clang-format
    # tests: a second regedit to round-trip registry text through (slow tier)
    wine wine64
    # the Debian package: building, checking, installing on a fresh root
    dpkg-dev file lintian desktop-file-utils appstream man-db mmdebstrap
)
if [ "${1:-}" = "--runtime-only" ]; then
    packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-charts-dev libqt6opengl6-dev
        libsqlite3-dev libsndfile1-dev libpulse-dev libxcb1-dev libnm-dev qt6-qpa-plugins xvfb openbox trayer
        pulseaudio pulseaudio-utils xdotool x11-utils imagemagick)
elif [ "${1:-}" = "--package" ]; then
    packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev
        libsqlite3-dev libsndfile1-dev libpulse-dev libxcb1-dev libnm-dev dpkg-dev file)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
