#!/usr/bin/env bash
# Builds the Debian package of the program into build/package/ and prints its
# path: a release build with Debian's hardening flags, installed under /usr by
# CPack, dependencies found by dpkg-shlibdeps. Build output goes to stderr.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --package >&2

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flag() { dpkg-buildflags --get "$1"; }

cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="$(flag CFLAGS) $(flag CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flag CXXFLAGS) $(flag CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flag LDFLAGS)" -DCMAKE_MODULE_LINKER_FLAGS="$(flag LDFLAGS)" >/dev/null
cmake --build build/package -j "$(nproc)" >&2
rm -f build/package/vorn95_*.deb
(cd build/package && cpack -G DEB >/dev/null)
ls build/package/vorn95_*.deb
