#!/usr/bin/env bash
# Starts the wizard on the test desktop (scripts/test-session.sh) with the
# sample phonebook and sample statistics, walks through its pages and saves a
# screenshot of every page, the entry properties dialog with its failure
# counts, the dialing options, the About box, each
# view style of the entry list, the tray icon with its tip and the message of
# a broken line, the tray menu and the connection history as PNG files in
# build/FLAVOUR/screenshots.
#
# Usage: scripts/screenshots.sh [FLAVOUR]     (default: test; built beforehand)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-test}
if [ -z "${VORN_TEST_SESSION:-}" ]; then
    exec "$root/scripts/test-session.sh" "$0" "$@"
fi

bin=$root/build/$flavour/bin
out=$root/build/$flavour/screenshots
mkdir -p "$out"
rm -f "$out"/*.png

# Everything the program keeps goes to a folder of its own.
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-shots.XXXXXX")
wizard=
cleanup() {
    [ -n "$wizard" ] && kill "$wizard" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export VORN_REGISTRY=$work/registry.db
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/vorn95"
cp "$root/resources/rasphone.pbk" "$XDG_CONFIG_HOME/vorn95/rasphone.pbk"
"$bin/vorn-reg" import "$root/resources/sample-statistics.reg"
# A month of sample history (beside the hive) for the chart: a failed dial creates the file.
"$bin/vorn-rasdial" "old line" >/dev/null || true
sqlite3 "$work/history.db" <<'SQL'
WITH RECURSIVE day(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM day WHERE n < 29),
kind(entry, outcome, code, text, k) AS (VALUES ('Internet Provider', 'connected', 0, '', 0),
    ('Internet Provider', 'failed', 676, 'The line is busy.', 1), ('Night Line', 'connected', 0, '', 2),
    ('Office', 'failed', 678, 'There is no answer.', 3)),
attempt AS (SELECT *, CASE outcome WHEN 'connected' THEN ((n * 37 + k * 13) % 11) * 600 + 900 ELSE 0 END AS secs,
    '-' || n || ' days' AS ago, '-' || (n * 7 % 5 + k) || ' hours' AS hour FROM day, kind WHERE k < 2 OR n % 3 = 0)
INSERT INTO attempts (entry, backend, start, end, outcome, code, text, seconds, bytes_in, bytes_out)
SELECT entry, 'Simulated dial-up service', strftime('%Y-%m-%dT%H:%M:%S+00:00', 'now', ago, hour),
    strftime('%Y-%m-%dT%H:%M:%S+00:00', 'now', ago, hour, '+' || (secs + 30) || ' seconds'),
    outcome, code, text, secs, secs * 3400, secs * 900
FROM attempt ORDER BY n DESC, k;
SQL

# The first word of a log line, as the program names it (app/WizardLog.h).
log_word() { sed -n "s/^inline constexpr char $1\[\] = \"\(.*\)\";.*/\1/p" "$root/app/WizardLog.h"; }
status=$(log_word Status)
[ -n "$status" ] || { echo "screenshots: no Status line in app/WizardLog.h" >&2; exit 1; }

cd "$work"
# Its log says when a failed attempt's pause begins.
QT_LOGGING_RULES="vorn.wizard.debug=true" "$bin/vorn95" >"$work/wizard.log" 2>&1 &
wizard=$!

window_named() { # exact title [seconds to wait, default 10]
    local id pattern
    pattern=$(printf '%s' "$1" | sed 's/[][().*+?^$|\\]/\\&/g')
    for _ in $(seq $((${2:-10} * 10))); do
        id=$(xdotool search --onlyvisible --name "^$pattern\$" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
    echo "screenshots: no window titled '$1'" >&2
    return 1
}
shot() { # window, file name
    sleep 0.4
    import -frame -window "$1" "$out/$2.png"
    echo "saved $out/$2.png"
}
click() { # x y [button], in the wizard's client coordinates
    xdotool mousemove --window "$main" "$1" "$2" click "${3:-1}"
    sleep 0.3
}
keys() { xdotool key --delay 150 "$@"; sleep 0.3; }

# Client coordinates of the wizard's controls, as the demo and the end-to-end tests click them.
# shellcheck source=demo/positions.sh
source "$root/demo/positions.sh"

main=$(window_named "VORN95 Wizard")
shot "$main" page0-welcome

click "${about[@]}"
shot "$(window_named About)" about-box
keys Return

click "${next[@]}"
window_named "VORN95 Wizard - Entry Selection (1 of 3)" >/dev/null
shot "$main" page1-select-large-icons

# The dialing options, from the menu over the empty part of the list.
for _ in 1 2 3; do
    click "${list_empty[@]}" 3
    sleep 0.5
    keys d
    options=$(window_named "Dialing Options" 3 2>/dev/null) && break
    keys Escape
done
if [ -n "${options:-}" ]; then
    shot "$options" dialing-options
    keys Escape
else
    echo "screenshots: the Dialing Options dialog did not open" >&2
fi

# The View menu opens over the empty part of the list.
for style in m:small-icons l:list d:details; do
    click "${list_empty[@]}" 3
    keys v "${style%%:*}"
    shot "$main" "page1-select-${style#*:}"
done

# In the report view the first row is at a known place: its entry menu
# leads to the properties dialog, which is closed without OK.
# A key can reach the menu before it is up, so a missed try is repeated.
for _ in 1 2 3; do
    click "${first_row[@]}" 3
    sleep 0.5
    keys Down Return
    properties=$(window_named "Entry Properties" 3 2>/dev/null) && break
    keys Escape
done
shot "$properties" entry-properties
keys ctrl+Tab
shot "$properties" entry-failures
keys Escape

# Dial an entry that answers: typing its first letter selects it.
click "${first_row[@]}"
keys N
click "${next[@]}"
window_named "VORN95 Wizard - Tune (2 of 3)" >/dev/null
shot "$main" page2-tune
click "${next[@]}"
window_named "VORN95 Wizard - Confirmation (3 of 3)" >/dev/null
shot "$main" page3-confirm
click "${next[@]}"
window_named "VORN95 Wizard - Dialing" >/dev/null
shot "$main" page4-dialing

# The connected page comes once an entry connects; the wizard then hides in
# the tray, so its window is mapped again for the picture.
info=
for _ in $(seq 150); do
    info=$(xdotool search --name '^VORN95 Wizard - Info$' 2>/dev/null | head -1) && [ -n "$info" ] && break
    sleep 0.1
done
if [ -n "$info" ]; then
    xdotool windowmap "$info"
    shot "$info" page5-connected
else
    echo "screenshots: the connected page was not reached (no connection made)" >&2
fi

# The tray icon with its tool tip: the pointer rests on the icon until the tip shows.
if [ -n "$info" ]; then
    xdotool windowunmap "$info"
    icon=
    for _ in $(seq 50); do
        icon=$(xdotool search --onlyvisible --classname vorn95 2>/dev/null | head -1) && [ -n "$icon" ] && break
        sleep 0.1
    done
    if [ -n "$icon" ]; then
        eval "$(xdotool getwindowgeometry --shell "$icon")"
        xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
        sleep 1.5
        import -window root -crop 520x90+$((X - 440))+0 "$out/tray-tooltip.png"
        echo "saved $out/tray-tooltip.png"
        # Its menu starts with the connected time and traffic.
        xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
        sleep 1
        import -window root -crop 520x160+$((X - 440))+0 "$out/tray-menu-connected.png"
        echo "saved $out/tray-menu-connected.png"
        # Its History item shows every entry's attempts.
        keys Down Down Return
        shot "$(window_named "Connection History")" history-window
        keys Escape
        xdotool mousemove 10 400
    else
        echo "screenshots: no tray icon" >&2
    fi

    # The line breaks as a faulty modem's would: the wizard says so.
    "$bin/vorn-rasdial" --drop "Night Line" >/dev/null
    shot "$(window_named Information)" broken-line
    keys Return
    window_named "VORN95 Wizard - Welcome (0 of 3)" >/dev/null
    shot "$main" page0-after-broken-line
fi

# Without a tray host: the tray host of this private desktop is ended (by the
# process id of its window), and an entry that is busy twice before it
# answers is dialed. The reason of a failure stays on the dialing page
# through the pause; connected, the window stays on its page, whose button
# hangs up.
if [ -n "$info" ]; then
    tray_host=$(xdotool search --classname trayer getwindowpid %1 2>/dev/null || true)
    [ -n "$tray_host" ] && kill "$tray_host"
    sleep 0.5
    click "${next[@]}"
    window_named "VORN95 Wizard - Entry Selection (1 of 3)" >/dev/null
    click "${first_row[@]}"
    keys I
    for page in "Tune (2 of 3)" "Confirmation (3 of 3)" Dialing; do
        click "${next[@]}"
        window_named "VORN95 Wizard - $page" >/dev/null
    done
    for _ in $(seq 100); do
        grep -qF "$status \"The line is busy" "$work/wizard.log" && break
        sleep 0.1
    done
    sleep 0.15
    import -frame -window "$main" "$out/page4-dialing-failure.png"
    echo "saved $out/page4-dialing-failure.png"
    connected=$(window_named "VORN95 Wizard - Info" 20)
    sleep 1.5 # the page shrinks the window; let it settle
    # The service's own windows come up at the same moment, over it.
    xdotool windowraise "$connected"
    shot "$connected" page5-connected-no-tray
fi

