#!/usr/bin/env bash
# Installs the package with apt on a fresh Debian 12 root (made with
# mmdebstrap, entered with chroot), then runs the installed programs there on
# the test display: the wizard opens its window, vorn-rasdial dials
# the sample phonebook. Needs root and scripts/test-session.sh around it.
#
# Usage: tests/package/fresh-root.sh PACKAGE.deb
# The bare root and the downloaded packages are kept in build/package-root/,
# so later runs download only what changed.
set -euo pipefail
deb=$(realpath "$1")
cd "$(dirname "$0")/../.."
source tests/package/checks.sh

cache=$PWD/build/package-root
base=$cache/bookworm.tar
mirror=http://deb.debian.org
mkdir -p "$cache/archives/partial"
if [ ! -s "$base" ]; then
    echo "making a bare Debian 12 root (once)"
    # The output name tells mmdebstrap to write a tar file.
    mmdebstrap --quiet --variant=apt bookworm "$cache/partial.tar" \
        "deb $mirror/debian bookworm main" \
        "deb $mirror/debian bookworm-updates main" \
        "deb $mirror/debian-security bookworm-security main"
    mv "$cache/partial.tar" "$base"
    echo "made in $SECONDS s"
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/vorn-root.XXXXXX")
mounts=()
cleanup() {
    if [ $? -ne 0 ] && [ -s "$root/tmp/vorn95.log" ]; then
        echo "--- the wizard's output:" >&2
        tail -20 "$root/tmp/vorn95.log" >&2
    fi
    # Whatever still runs inside the root (the dial-up service, a wizard
    # that failed its check) is ended by PID before the root goes away.
    local pid
    for pid in $(processes_in_root); do kill "$pid" 2>/dev/null || true; done
    sleep 0.5
    for pid in $(processes_in_root); do kill -9 "$pid" 2>/dev/null || true; done
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" || umount -l "${mounts[i]}"; done
    rmdir "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
processes_in_root() {
    local link
    for link in /proc/[0-9]*/root; do
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && echo "${link//[^0-9]/}"
    done
    return 0
}

# In memory: quick to fill, and gone at once when unmounted.
mount -t tmpfs -o size=4g,mode=755 vorn-root "$root" && mounts+=("$root")
tar -C "$root" -xf "$base"
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount --bind "$cache/archives" "$root/var/cache/apt/archives" && mounts+=("$root/var/cache/apt/archives")
cp "$deb" "$root/tmp/"

# No NetworkManager answers in the root, so the programs choose the simulated
# dial-up service by themselves, as on a machine without it.
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DISPLAY="$DISPLAY" XDG_RUNTIME_DIR=/run/vorn DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1 \
        VORN_DIALUPD_IDLE_EXIT=2 DEBIAN_FRONTEND=noninteractive "$@"
}

echo "apt install ./$(basename "$deb") on the fresh root"
in_root apt-get update -qq
# apt itself would delete the downloads that the cache is for.
in_root sh -c "cd /tmp && apt install -y -q -o APT::Keep-Downloaded-Packages=true ./$(basename "$deb")" \
    >"$root/tmp/apt.log" 2>&1 ||
    fail "apt install failed: $(tail -20 "$root/tmp/apt.log")"
install -d -m 700 "$root/run/vorn"
echo "installed after $SECONDS s"

# vorn-rasdial from the installation, on the sample phonebook (its own logic is ToolsTest's).
expect_output "dial an entry that connects" "Connected to Quick Connect." in_root vorn-rasdial "Quick Connect"
wait_for_window "the service's Connection Established window" '^Connection Established$'
expect_output "hang up" "Command completed successfully." in_root vorn-rasdial "Quick Connect" /DISCONNECT
expect_module_loads "the installed NetworkManager module loads" in_root env VORN_RAS=nm vorn-rasdial

# The installed wizard, started as from the menu: its window appears, and its
# first start ran the initializer and wrote the phonebook's entries.
in_root sh -c 'cd /root && exec vorn95' >"$root/tmp/vorn95.log" 2>&1 &
wizard=$!
wait_for_window "the wizard's window" '^VORN95 Wizard$'
kill -0 "$wizard" 2>/dev/null || fail "the wizard ended: $(cat "$root/tmp/vorn95.log")"
eventually "initvorn wrote vorninfo.pdt" grep -qx "Connection Established" "$root/root/vorninfo.pdt"
expect_output "the wizard keeps the sample entries' statistics" 'VORN-WIZ\Quick Connect]' \
    in_root vorn-reg export 'HKLM\SOFTWARE\Quorix\VORN-WIZ'
kill "$wizard"
wait "$wizard" 2>/dev/null || true
echo "fresh Debian 12 root: all checks passed after $SECONDS s"
