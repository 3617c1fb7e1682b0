# Helpers of the package tests (sourced): each check prints one line, and the
# first failing one ends the test with the reason.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# expect_output DESCRIPTION TEXT COMMAND...: succeeds and prints TEXT.
expect_output() {
    local what=$1 text=$2 output; shift 2
    output=$("$@" 2>&1) || fail "$what: exit status $?: $output"
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
