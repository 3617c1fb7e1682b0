#!/usr/bin/env bash
# Builds the optimised benchmark flavour and runs every benchmark inside the
# private test desktop. Each prints its measurements beside its baseline.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh bench
for b in build/bench/bin/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    scripts/test-session.sh "$b"
done
