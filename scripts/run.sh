#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on the simulated
# dial-up service with its sample phonebook.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --runtime-only
scripts/build.sh release
# The simulated service, even on a machine whose NetworkManager would answer.
export VORN_RAS=${VORN_RAS:-sim}
exec build/release/bin/vorn95 "$@"
