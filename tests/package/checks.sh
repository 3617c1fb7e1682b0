# Helpers of the package tests (sourced): each check prints one line, and the
# first failing one ends the test with the reason.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# expect_output DESCRIPTION TEXT COMMAND...: succeeds and prints TEXT.
expect_output() { expect_outcome success "$@"; }

# expect_failure DESCRIPTION TEXT COMMAND...: fails and prints TEXT.
expect_failure() { expect_outcome failure "$@"; }

expect_outcome() {
    local outcome=$1 what=$2 text=$3 output status=0; shift 3
    output=$("$@" 2>&1) || status=$?
    case "$outcome:$status" in
        success:0 | failure:[1-9]*) ;;
        success:*) fail "$what: exit status $status: $output" ;;
        failure:*) fail "$what: succeeded: $output" ;;
    esac
    grep -qF -- "$text" <<<"$output" || fail "$what: \"$text\" not in: $output"
    echo "ok: $what"
}

# expect_module_loads DESCRIPTION COMMAND...: COMMAND, a program forced onto
# NetworkManager where none answers, loads the module and reports the service
# unreachable; a module that cannot be loaded would be named with the reason.
expect_module_loads() {
    local what=$1 output; shift
    output=$("$@" 2>&1) && fail "$what: succeeded without NetworkManager: $output"
    grep -qF "Remote access error 711" <<<"$output" || fail "$what: no error 711 in: $output"
    ! grep -qF "vorn-nm.so" <<<"$output" || fail "$what: $output"
    echo "ok: $what"
}

# eventually DESCRIPTION COMMAND...: COMMAND succeeds within 30 seconds.
eventually() {
    local what=$1 deadline=$((SECONDS + 30)); shift
    while [ "$SECONDS" -lt "$deadline" ]; do
        "$@" >/dev/null 2>&1 && { echo "ok: $what"; return 0; }
        sleep 0.1
    done
    fail "$what: not within 30 seconds"
}

# wait_for_window DESCRIPTION TITLE-REGEX: a visible window with that title appears.
wait_for_window() { eventually "$1" xdotool search --onlyvisible --name "$2"; }
