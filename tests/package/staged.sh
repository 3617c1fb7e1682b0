#!/usr/bin/env bash
# Checks the Debian package as built: lintian finds no errors, desktop entry,
# icons and manual pages agree, and the wizard unpacked with dpkg -x into a
# staging folder starts on the test display and uses its own data (what it
# depends on is proven by fresh-root.sh). Run inside scripts/test-session.sh.
#
# Usage: tests/package/staged.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
cd "$(dirname "$0")/../.."
source tests/package/checks.sh

app_id=org.vorn95.Wizard
programs=(vorn95 vorn-dialupd initvorn vorn-rasdial vorn-reg vorn-history)

stage=$(mktemp -d "${TMPDIR:-/tmp}/vorn-stage.XXXXXX")
cleanup() {
    if [ $? -ne 0 ] && [ -s "$stage/vorn95.log" ]; then
        echo "--- the wizard's output:" >&2
        tail -20 "$stage/vorn95.log" >&2
    fi
    local link pid
    for link in /proc/[0-9]*/exe; do
        pid=${link//[^0-9]/}
        [[ "$(readlink "$link" 2>/dev/null)" == "$stage"/* ]] && kill "$pid" 2>/dev/null || true
    done
    rm -rf "$stage"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

lintian --fail-on error --tag-display-limit 0 "$deb" >"$stage/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$stage/lintian.log")"
echo "ok: lintian finds no errors ($(grep -c '^W:' "$stage/lintian.log" || true) warnings)"
grep '^W:' "$stage/lintian.log" | sed 's/^/    /' || true

root=$stage/root
dpkg -x "$deb" "$root"
share=$root/usr/share

# Every program is there; libnm, PulseAudio and Qt Charts come only with the modules, loaded when needed.
modules=("vorn-nm:libnm\.so" "vorn-sound:libpulse\.so" "vorn-chart:libQt6Charts")
for program in "${programs[@]}"; do
    [ -x "$root/usr/bin/$program" ] || fail "$program is not in /usr/bin"
    ! ldd "$root/usr/bin/$program" | grep -qE 'libnm\.so|libpulse\.so|libQt6Charts' || fail "$program links a module's library"
done
for module in "${modules[@]}"; do
    ldd "$root/usr/lib/vorn95/${module%%:*}.so" | grep -qE "${module#*:}" || fail "${module%%:*}.so lacks ${module#*:}"
done
echo "ok: every program is there, none links a module's library, the modules do"

desktop=$share/applications/$app_id.desktop
desktop_key() { sed -n "s/^$1=//p" "$desktop"; }
grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$share/metainfo/$app_id.metainfo.xml" ||
    fail "the metadata does not launch $app_id.desktop"
exec_program=$(desktop_key Exec)
[ -x "$root/usr/bin/${exec_program%% *}" ] || fail "Exec=$exec_program is not in /usr/bin"
icon=$(desktop_key Icon)
for png in "$share"/icons/hicolor/*x*/apps/"$icon".png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    [ "$(identify -format '%wx%h' "$png")" = "$size" ] || fail "$png is not $size"
done
[ -s "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
echo "ok: desktop entry, metadata, program and icons agree"

for program in "${programs[@]}"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/$program.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page of $program: $warnings"
done
changelog_version=$(zcat "$share/doc/vorn95/changelog.gz" | sed -n '1s/.*(\(.*\)).*/\1/p')
[ "$changelog_version" = "$(dpkg-deb --field "$deb" Version)" ] || fail "change log is at $changelog_version"
echo "ok: manual pages render cleanly, change log matches the version"

# The staged wizard, in a home of its own: it must start the staged dial-up
# service and initializer and read the staged sample phonebook.
home=$stage/home
mkdir -p "$home/work"
(cd "$home/work" && exec env -u VORN_DATA_DIR -u VORN_REGISTRY -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
    HOME="$home" VORN_RAS=sim VORN_DIALUP_SOCKET="$stage/dialup.sock" VORN_DIALUPD_IDLE_EXIT=2 \
    "$root/usr/bin/vorn95" >"$stage/vorn95.log" 2>&1) &
wizard=$!
wait_for_window "the staged wizard's window" '^VORN95 Wizard$'
kill -0 "$wizard" 2>/dev/null || fail "the wizard ended: $(cat "$stage/vorn95.log")"
cmp -s "$share/vorn95/rasphone.pbk" "$home/.config/vorn95/rasphone.pbk" ||
    fail "the phonebook was not seeded from the staged sample"
eventually "the staged initializer wrote vorninfo.pdt" grep -qx "Connection Established" "$home/work/vorninfo.pdt"
expect_output "the entries of the sample phonebook are in the hive" 'VORN-WIZ\Internet Provider]' \
    env -u XDG_DATA_HOME -u VORN_REGISTRY HOME="$home" "$root/usr/bin/vorn-reg" export 'HKLM\SOFTWARE\Quorix\VORN-WIZ'
kill "$wizard"
wait "$wizard" 2>/dev/null || true
expect_module_loads "the staged NetworkManager module loads" \
    env VORN_RAS=nm DBUS_SYSTEM_BUS_ADDRESS="unix:path=$stage/no-bus" "$root/usr/bin/vorn-rasdial"
echo "staged package: all checks passed"
