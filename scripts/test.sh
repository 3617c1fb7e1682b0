#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests, printing each phase's
# wall time and, last, the one-line total.
#
#   scripts/test.sh          the default tier:
#                            the format check, one ASan+UBSan build of
#                            everything running every test except the
#                            NetworkManager and slow ones under the test
#                            desktop (unit, widget, integration, end to end,
#                            the fuzz targets' seed corpora), and the thread
#                            tests under TSan
#   scripts/test.sh --all    also the slow tests (registry text through Wine's
#                            regedit and back), the NetworkManager session, the
#                            Debian package (lintian, staged start-up, a fresh
#                            Debian 12 root), the latency checks in an
#                            optimised build, and every fuzz target fuzzing for
#                            a minute
#
# VORN_FORMAT_CHECK=0 skips the format check; VORN_FUZZ_SECONDS sets the
# fuzzing time per target; VORN_TEST_PACKAGE_ROOT=0 skips the fresh root.
set -euo pipefail
cd "$(dirname "$0")/.."

all=0
case "${1:-}" in
    --all) all=1 ;;
    "") ;;
    *) echo "usage: scripts/test.sh [--all]" >&2; exit 2 ;;
esac
jobs=$(nproc)
fuzz_seconds=${VORN_FUZZ_SECONDS:-60}
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
passed=0
failed=0
timings=()
started=$SECONDS

finish() {
    local t
    echo "== wall time per phase"
    for t in "${timings[@]}"; do echo "   $t"; done
    echo "   total: $((SECONDS - started)) s"
    echo "tests: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# phase NAME COMMAND...: runs a step, timing it; a failing step ends the run.
phase() {
    local name=$1 begin=$SECONDS status=0; shift
    echo "== $name"
    "$@" || status=$?
    timings+=("$(printf '%-44s %5d s' "$name" $((SECONDS - begin)))")
    if [ "$status" -ne 0 ]; then
        echo "== $name: FAILED"
        [ "$failed" -gt 0 ] || failed=1
        finish || true
        exit 1
    fi
}

# run_ctest [--nm] [VAR=value...] -- CTEST-ARGS...: ctest inside the private
# desktop (and beside the private NetworkManager with --nm), with those
# variables set, counting its results.
run_ctest() {
    local around=() variables=() status=0 line total fails
    [ "$1" = --nm ] && { around=(scripts/nm-session.sh); shift; }
    while [ "$1" != "--" ]; do variables+=("$1"); shift; done
    shift
    scripts/test-session.sh "${around[@]}" env "${variables[@]}" ctest --output-on-failure -j "$jobs" "$@" 2>&1 \
        | tee "$summary" || status=$?
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$summary" | tail -1 || true)
    if [ -n "$line" ]; then
        total=$(awk '{ print $NF }' <<<"$line")
        fails=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
        passed=$((passed + total - fails))
        failed=$((failed + fails))
    fi
    return "$status"
}

# The same check as the format-check build target.
format_check() {
    git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
}

# Each fuzz target for its time, as many at once as there are cores.
run_fuzzers() {
    local fuzzer name pids=() names=() status=0
    for fuzzer in build/fuzz/bin/fuzz_*; do
        [ -x "$fuzzer" ] || continue
        name=$(basename "$fuzzer")
        mkdir -p "build/fuzz/corpus/$name"
        "$fuzzer" -max_total_time="$fuzz_seconds" -max_len=4096 -print_final_stats=0 "build/fuzz/corpus/$name" \
            "tests/fuzz/seeds/${name#fuzz_}" >"build/fuzz/$name.log" 2>&1 &
        pids+=($!)
        names+=("$name")
        if [ "${#pids[@]}" -ge "$jobs" ]; then
            wait_fuzzers || status=1
            pids=() names=()
        fi
    done
    wait_fuzzers || status=1
    return "$status"
}

wait_fuzzers() {
    local i status=0
    for i in "${!pids[@]}"; do
        if wait "${pids[i]}"; then
            echo "fuzz: ${names[i]} ok"
            passed=$((passed + 1))
        else
            tail -40 "build/fuzz/${names[i]}.log"
            echo "fuzz: ${names[i]} failed"
            failed=$((failed + 1))
            status=1
        fi
    done
    return "$status"
}

package_checks() {
    local deb
    deb=$(scripts/package.sh) || return 1
    scripts/test-session.sh tests/package/staged.sh "$deb" || { failed=$((failed + 1)); return 1; }
    passed=$((passed + 1))
    # Needs network and root; about 4 minutes the first time, 1.5 later.
    if [ "${VORN_TEST_PACKAGE_ROOT:-1}" = 1 ]; then
        scripts/test-session.sh tests/package/fresh-root.sh "$deb" || { failed=$((failed + 1)); return 1; }
        passed=$((passed + 1))
    fi
}

phase "packages" scripts/deps.sh
if [ "${VORN_FORMAT_CHECK:-1}" = 1 ]; then
    phase "format check (clang-format)" format_check
fi
phase "ASan+UBSan build of everything" scripts/build.sh asan
asan_options=(ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp")
phase "ASan+UBSan: every test but NetworkManager's and the slow ones" run_ctest "${asan_options[@]}" -- \
    --test-dir build/asan -LE 'nm|slow'
# QProcess starts programs with a vfork-like clone that TSan takes for a fork
# of the whole multi-threaded process; the child only execs, so let it be.
phase "TSan build of the thread tests" scripts/build.sh tsan test_watchers test_watchers_desktop
phase "TSan: thread tests" run_ctest \
    TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$PWD/tests/tsan.supp" -- --test-dir build/tsan -L threads

if [ "$all" = 1 ]; then
    phase "ASan+UBSan: slow tests (Wine's regedit)" run_ctest "${asan_options[@]}" -- --test-dir build/asan -L slow
    phase "optimised build" scripts/build.sh optimised
    phase "latency checks (optimised build)" run_ctest -- --test-dir build/optimised -L latency
    # A private NetworkManager with an OpenVPN server and test profiles.
    phase "NetworkManager session" run_ctest --nm -- --test-dir build/optimised -L nm
    phase "Debian package: lintian, staged start-up, fresh Debian 12 root" package_checks
    phase "fuzz build (instrumented)" scripts/build.sh fuzz
    phase "fuzzing (${fuzz_seconds} s a target)" run_fuzzers
fi
finish
