#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on the simulated
# dial-up service with its sample phonebook. Without a display it says so and
# shows one scripted dial of the sample phonebook on a private virtual display
# instead (fail over, connect, tray, disconnect), with screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
# The simulated service, even on a machine whose NetworkManager would answer.
export VORN_RAS=${VORN_RAS:-sim}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    scripts/deps.sh --runtime-only
    scripts/build.sh release
    exec build/release/bin/vorn95 "$@"
fi

echo "run: no display here; showing one scripted dial on a private virtual display instead."
scripts/deps.sh --runtime-only
# The scripted run drives the program as the end-to-end tests do (demo/).
scripts/build.sh demo vorn-demo
shots=$PWD/build/demo/demo-screenshots
exec scripts/test-session.sh build/demo/bin/vorn-demo "$shots"
