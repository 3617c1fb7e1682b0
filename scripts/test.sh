#!/usr/bin/env bash
# Installs what is missing, builds every flavour and runs all tests: unit and
# widget tests, integration tests inside a private desktop (display, window
# manager, tray host, sound server), the Debian package (lintian, staged
# start-up, installation on a fresh Debian 12 root), the ASan+UBSan and TSan
# builds, and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
fuzz_seconds=${VORN_FUZZ_SECONDS:-20}
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# Runs ctest inside the private desktop and keeps its closing line for the total.
run_ctest() {
    local status=0
    scripts/test-session.sh ${VORN_WITH_NM:+scripts/nm-session.sh} ctest --output-on-failure -j "$jobs" "$@" 2>&1 \
        | tee -a "$summary" || status=$?
    return "$status"
}

echo "== test build (warnings as errors)"
scripts/build.sh test
# Beside a private NetworkManager too, for the tests labelled nm.
VORN_WITH_NM=1 run_ctest --test-dir build/test

echo "== Debian package: lintian, files, staged start-up, fresh Debian 12 root"
deb=$(scripts/package.sh)
scripts/test-session.sh tests/package/staged.sh "$deb"
package_checks=1
# Needs network and root; about 4 minutes the first time, 1.5 later.
if [ "${VORN_TEST_PACKAGE_ROOT:-1}" = 1 ]; then
    scripts/test-session.sh tests/package/fresh-root.sh "$deb"
    package_checks=2
fi

echo "== ASan+UBSan build: unit tests"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
    run_ctest --test-dir build/asan -L unit

echo "== TSan build: thread tests"
# QProcess starts programs with a vfork-like clone that TSan takes for a fork
# of the whole multi-threaded process; the child only execs, so let it be.
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$PWD/tests/tsan.supp" \
    run_ctest --test-dir build/tsan -L threads

echo "== fuzz targets (${fuzz_seconds}s each)"
fuzzers=0
scripts/build.sh fuzz
for fuzzer in build/fuzz/bin/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds="tests/fuzz/seeds/${name#fuzz_}"
    [ -d "$seeds" ] || seeds=
    "$fuzzer" -max_total_time="$fuzz_seconds" -max_len=4096 -print_final_stats=0 "$corpus" $seeds \
        >"build/fuzz/$name.log" 2>&1 || { tail -40 "build/fuzz/$name.log"; echo "fuzz: $name failed"; exit 1; }
    echo "fuzz: $name ok"
    fuzzers=$((fuzzers + 1))
done

total=$(awk '/tests failed out of/ { n += $NF } END { print n + 0 }' "$summary")
echo "tests: $((total + package_checks + fuzzers)) passed, 0 failed"
