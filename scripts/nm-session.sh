#!/usr/bin/env bash
# Runs a command beside a private NetworkManager that cannot touch this
# machine's network: its own system bus, its own network and mount namespace,
# managing only one end of a veth pair whose other end sits in a second
# namespace with an OpenVPN server. Certificates are made for the run and
# thrown away. Everything started here is stopped by PID, and the namespaces
# are deleted, however the command ends. Needs root.
#
# Usage: scripts/nm-session.sh COMMAND [ARG...]    (nest it in scripts/test-session.sh)
# The command sees DBUS_SYSTEM_BUS_ADDRESS (the private bus) and
# VORN_NM_SESSION, the session's folder, which holds:
#   server start|stop   starts or stops the OpenVPN server
#   profiles            dial-able profiles made for the tests, one name a line
#   namespace           the network namespace NetworkManager runs in
set -euo pipefail

# Without what it needs the command runs alone, and the NetworkManager tests skip.
without_nm() { # reason, command...
    echo "nm-session: $1; running without NetworkManager" >&2
    shift
    exec "$@"
}
[ "$(id -u)" -eq 0 ] || without_nm "needs root for network namespaces" "$@"
for program in NetworkManager dbus-daemon openvpn openssl ip unshare nmcli; do
    command -v "$program" >/dev/null || without_nm "$program is missing (scripts/deps.sh)" "$@"
done

session=$(mktemp -d "${TMPDIR:-/tmp}/vorn-nm.XXXXXX")
chmod 755 "$session" # the VPN plugin reads certificates as its own user
tag=$(basename "$session" | tr -dc 'a-zA-Z0-9' | tail -c 6)
client_ns="vorn-nm-$tag"
server_ns="vorn-vpn-$tag"
pids=()

stop_all() {
    local pid
    [ -x "$session/server" ] && "$session/server" stop
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    # Helpers NetworkManager started (VPN plugin, openvpn) live on in its namespace.
    for ns in "$client_ns" "$server_ns"; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
        ip netns del "$ns" 2>/dev/null || true
    done
    [ -n "${VORN_NM_KEEP_LOG:-}" ] && cp "$session/nm.log" "$VORN_NM_KEEP_LOG" 2>/dev/null
    rm -rf "$session"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

wait_for() { # tenths of a second, description, test command...
    local limit=$1 what=$2; shift 2
    for _ in $(seq "$limit"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "nm-session: $what did not come up" >&2
    [ -f "$session/nm.log" ] && tail -30 "$session/nm.log" >&2
    return 1
}

# Throw-away certificates: a CA, the server and one client.
certs="$session/certs"
mkdir "$certs"
make_cert() { # name, subject, extended key usage
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$2" \
        -keyout "$certs/$1.key" -out "$certs/$1.csr" 2>/dev/null
    printf 'extendedKeyUsage=%s\n' "$3" >"$certs/$1.ext"
    openssl x509 -req -in "$certs/$1.csr" -CA "$certs/ca.crt" -CAkey "$certs/ca.key" -CAcreateserial \
        -days 2 -extfile "$certs/$1.ext" -out "$certs/$1.crt" 2>/dev/null
}
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "/CN=vorn test CA" \
    -keyout "$certs/ca.key" -out "$certs/ca.crt" 2>/dev/null
make_cert server "vorn test server" serverAuth
make_cert client "vorn test client" clientAuth
chmod 644 "$certs"/*

# Two namespaces joined by a veth pair: 10.77.0.1 the server, 10.77.0.2 NetworkManager's side.
ip netns add "$client_ns"
ip netns add "$server_ns"
ip link add vnm0 netns "$client_ns" type veth peer name vsrv0 netns "$server_ns"
ip -n "$server_ns" addr add 10.77.0.1/24 dev vsrv0
ip -n "$server_ns" link set vsrv0 up
ip -n "$server_ns" link set lo up

cat >"$session/server" <<EOF
#!/bin/sh
# Starts or stops the test's OpenVPN server.
running() { [ -f $session/openvpn.pid ] && kill -0 "\$(cat $session/openvpn.pid)" 2>/dev/null; }
case "\$1" in
start)
    running && exit 0
    rm -f $session/openvpn.log
    ip netns exec $server_ns openvpn --daemon --writepid $session/openvpn.pid --log $session/openvpn.log \\
        --dev tun --proto udp --port 1194 --local 10.77.0.1 --server 10.8.0.0 255.255.255.0 --topology subnet \\
        --ca $certs/ca.crt --cert $certs/server.crt --key $certs/server.key --dh none --ping 1
    for _ in \$(seq 50); do grep -q "Initialization Sequence Completed" $session/openvpn.log 2>/dev/null && exit 0; sleep 0.1; done
    echo "openvpn server did not start" >&2; exit 1 ;;
stop)
    running || exit 0
    pid=\$(cat $session/openvpn.pid); rm -f $session/openvpn.pid
    kill "\$pid" 2>/dev/null || exit 0
    for _ in \$(seq 50); do kill -0 "\$pid" 2>/dev/null || exit 0; sleep 0.1; done
    kill -9 "\$pid" 2>/dev/null || true ;;
esac
EOF
chmod 755 "$session/server"
"$session/server" start

# The private system bus.
mkdir "$session/bus"
cat >"$session/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$session/bus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$session/bus.conf" --nofork --nopidfile --nosyslog >"$session/bus.log" 2>&1 &
pids+=($!)
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$session/bus/system_bus_socket"
wait_for 50 "the private system bus" test -S "$session/bus/system_bus_socket"

# NetworkManager manages vnm0 only; its one Ethernet profile gives it an address.
mkdir -m 700 "$session/connections" "$session/conf.d"
cat >"$session/NetworkManager.conf" <<EOF
[main]
plugins=keyfile
no-auto-default=*
dns=none
rc-manager=unmanaged
hostname-mode=none
auth-polkit=false
[keyfile]
path=$session/connections
unmanaged-devices=except:interface-name:vnm*
[logging]
level=INFO
EOF
profile() { # file name, then its lines
    local file="$session/connections/$1.nmconnection"
    shift
    printf '%s\n' "$@" >"$file"
    chmod 600 "$file"
}
profile wired "[connection]" "id=Test wired" "type=ethernet" "interface-name=vnm0" \
    "[ipv4]" "method=manual" "address1=10.77.0.2/24,10.77.0.1" "[ipv6]" "method=disabled"
openvpn_profile() { # name, port, connection type, extra vpn lines...
    local name=$1 port=$2 type=$3
    shift 3
    profile "$name" "[connection]" "id=$name" "type=vpn" "autoconnect=false" \
        "[vpn]" "service-type=org.freedesktop.NetworkManager.openvpn" "remote=10.77.0.1:$port" \
        "connection-type=$type" "ca=$certs/ca.crt" "ping=1" "ping-exit=3" "$@" \
        "[ipv4]" "method=auto" "never-default=true" "[ipv6]" "method=disabled"
}
openvpn_profile "VPN nobody listens" 1195 tls "cert=$certs/client.crt" "key=$certs/client.key" \
    "connect-timeout=1" "timeout=2"
openvpn_profile "VPN without password" 1194 password "username=tester" "password-flags=0"
openvpn_profile "VPN working" 1194 tls "cert=$certs/client.crt" "key=$certs/client.key"
profile "PPPoE line" "[connection]" "id=PPPoE line" "type=pppoe" "autoconnect=false" "interface-name=vnmppp0" \
    "[pppoe]" "parent=vnm0" "username=tester" "password=secret" "[ipv4]" "method=auto" "[ipv6]" "method=disabled"
echo "$client_ns" >"$session/namespace"
printf '%s\n' "VPN nobody listens" "VPN without password" "VPN working" "PPPoE line" >"$session/profiles"

# NetworkManager in its namespace, with a mount namespace of its own: private
# state folders, /sys read-only so it expects no udev, the private bus where
# its VPN plugins look for the system bus.
ip netns exec "$client_ns" unshare --mount --propagation private sh -c "
    set -e
    mount -t tmpfs -o mode=755 tmpfs /run
    mkdir -p /run/NetworkManager /run/dbus
    mount --bind '$session/bus' /run/dbus
    mount -t tmpfs -o mode=755 tmpfs /var/lib/NetworkManager
    mount -o remount,ro /sys
    ip link set lo up
    exec NetworkManager --debug --config='$session/NetworkManager.conf' --config-dir='$session/conf.d' \
        --state-file=/var/lib/NetworkManager/NetworkManager.state
" >"$session/nm.log" 2>&1 &
pids+=($!)
export VORN_NM_SESSION="$session"
wait_for 100 "NetworkManager" sh -c "nmcli -t -f RUNNING general | grep -q running"
wait_for 100 "the wired profile" sh -c "nmcli -t -f GENERAL.STATE con show 'Test wired' | grep -q activated"

status=0
"$@" || status=$?
exit "$status"
