#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it on the simulated
# dial-up service with its sample phonebook.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --runtime-only
scripts/build.sh release
exec build/release/bin/vorn95 "$@"
