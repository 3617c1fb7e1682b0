# Helpers of the package tests (sourced): each check prints one line, and the
# first failing one ends the test with the reason.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# expect_output DESCRIPTION TEXT COMMAND...: succeeds and prints TEXT.
expect_output() {
    local what=$1 text=$2 output status=0; shift 2
    output=$("$@" 2>&1) || status=$?
    [ "$status" -eq 0 ] || fail "$what: exit status $status: $output"
    grep -qF -- "$text" <<<"$output" || fail "$what: \"$text\" not in: $output"
    echo "ok: $what"
}

# expect_failure DESCRIPTION TEXT COMMAND...: fails and prints TEXT.
expect_failure() {
    local what=$1 text=$2 output status=0; shift 2
    output=$("$@" 2>&1) || status=$?
    [ "$status" -ne 0 ] || fail "$what: succeeded: $output"
    grep -qF -- "$text" <<<"$output" || fail "$what: \"$text\" not in: $output"
    echo "ok: $what"
}

# wait_for_window DESCRIPTION TITLE-REGEX: a visible window with that title
# appears on the display within 30 seconds.
wait_for_window() {
    local what=$1 title=$2 deadline=$((SECONDS + 30))
    while [ "$SECONDS" -lt "$deadline" ]; do
        xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && { echo "ok: $what"; return 0; }
        sleep 0.1
    done
    fail "$what: no window titled $title"
}
