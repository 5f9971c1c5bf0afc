#!/usr/bin/env bash
# Builds harbolink and runs it against the bundled local VPN service, with a real OpenVPN server in
# a network namespace of its own when the machine allows it (root, /dev/net/tun, OpenVPN), else
# with a stand-in that plays OpenVPN. Installs what it needs first. Everything it starts is stopped
# and removed when the client ends (or on Ctrl+C).
#   scripts/run-demo.sh [--announce-version VERSION]   (another version makes the client offer an update)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

announce=1.0.0
if [ "${1:-}" = "--announce-version" ]; then
    announce=${2:?--announce-version takes a version}
fi

scripts/deps.sh demo

state=$top/build/demo-state
build=$top/build/demo
port=47443
mkdir -p "$state"
scripts/make-pki.sh "$state/pki"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARBOLINK_BUILD_DEMO=ON \
    -DHARBOLINK_API_HOST=localhost:$port -DHARBOLINK_INSTALLER_HOST=localhost:$port \
    -DHARBOLINK_EXTRA_CA_CERT="$state/pki/ca.pem" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

pids=()
cleanup() {
    trap - EXIT INT TERM
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ss -ltn "sport = :$port" | grep -q LISTEN; then
    echo "Port $port is taken: is another demo running?" >&2
    exit 1
fi

# The VPN server: real when possible.
tunnel_address=
if [ "$(id -u)" -eq 0 ] && [ -c /dev/net/tun ] && [ -x /usr/sbin/openvpn ]; then
    cp scripts/openvpn-launcher.sh "$build/bin/openvpn/openvpn"
    chmod 755 "$build/bin/openvpn/openvpn"
    "$build/bin/harbolink-vpn-lab" --client-config "$state/client.ovpn" --ca "$state/vpn-ca.pem" \
        --account demo@harbolink.test:harbolink --account expired@harbolink.test:harbolink \
        > "$state/lab.out" 2> "$state/lab.log" &
    pids+=($!)
    for _ in $(seq 1 60); do
        grep -q '^ready' "$state/lab.out" 2>/dev/null && break
        kill -0 "${pids[-1]}" 2>/dev/null || break
        sleep 0.5
    done
    tunnel_address=$(sed -n 's/^ready //p' "$state/lab.out")
fi
if [ -n "$tunnel_address" ]; then
    mode="a real OpenVPN server in the network namespace $(ip netns list | grep -o '^hl-lab-[0-9]*' | head -1)"
else
    [ -s "$state/lab.log" ] && cat "$state/lab.log" >&2
    cmake --build "$build" --target harbolink-fake-openvpn >/dev/null
    cp "$build/bin/harbolink-fake-openvpn" "$build/bin/openvpn/openvpn"
    cat > "$state/client.ovpn" <<'CONF'
# No tunnel can be made on this machine (it needs root, /dev/net/tun and OpenVPN): a stand-in
# plays OpenVPN, opening the management interface and reporting made-up traffic.
management localhost 60505
#fake bytecount-start 0 0
#fake bytecount-step 220000 60000
CONF
    : > "$state/vpn-ca.pem"
    mode="a stand-in for OpenVPN (no tunnel: run as root on a machine with /dev/net/tun for a real one)"
fi

# A small installer for the update offer: it only says that it ran.
cat > "$state/installer.sh" <<'INST'
#!/bin/sh
echo "harbolink demo installer: a real one would install the new version now." > harbolink_installer.log
INST

"$build/bin/harbolink-demo-service" --cert "$state/pki/server.pem" --key "$state/pki/server.key" --port $port \
    --announce-version "$announce" --vpn-config "$state/client.ovpn" --installer "$state/installer.sh" \
    --vpn-ca "$state/vpn-ca.pem" 2> "$state/service.log" &
pids+=($!)
for _ in $(seq 1 40); do
    ss -ltn "sport = :$port" | grep -q LISTEN && break
    sleep 0.25
done

# Traffic through the tunnel while it is up, so that the chart has something to show: bursts of
# pings of changing size to the server's tunnel address, about 1 to 3 Mbit/s each way.
if [ -n "$tunnel_address" ]; then
    ( while :; do
          ping -q -n -c 100 -i 0.02 -s $((2000 + RANDOM % 6000)) -W 1 "$tunnel_address" >/dev/null 2>&1 || sleep 1
      done ) &
    pids+=($!)
fi

# A display: the user's, else a virtual one.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    exec 3< <(Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x900x24 2>/dev/null)
    pids+=($!)
    read -r number <&3
    export DISPLAY=:$number
    echo "No display found: the client runs on the virtual display $DISPLAY."
    echo "Take a look with:  DISPLAY=$DISPLAY import -window root shot.png"
fi

cat <<INFO

harbolink demo
  service:  https://localhost:$port (log: $state/service.log)
  tunnel:   $mode
  accounts: demo@harbolink.test     / harbolink   may connect
            expired@harbolink.test  / harbolink   signs in, but may not connect
            anything else                         refused ("Invalid email or password.")

INFO

workdir="$state/run"
mkdir -p "$workdir"
( cd "$workdir" && "$build/bin/harbolink" ) &
client=$!
pids+=($client)
wait "$client" || true
