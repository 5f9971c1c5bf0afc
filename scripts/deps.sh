#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need. Idempotent: does
# nothing when everything is there already.
#   deps.sh [build|test|demo]
set -euo pipefail
what=${1:-test}
packages=(cmake g++ make pkg-config ccache qtbase5-dev qtbase5-dev-tools libqt5charts5-dev libqt5svg5-dev
          libcpp-httplib-dev libssl-dev openssl fonts-quicksand)
case "$what" in
    build) ;;
    test) packages+=(openvpn iproute2 iputils-ping xvfb xauth x11-utils procps xdotool) ;;
    demo) packages+=(openvpn iproute2 iputils-ping xvfb xauth x11-utils procps xdotool) ;;
    *) echo "usage: deps.sh [build|test|demo]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing: ${missing[*]}" >&2
    echo "Run this command as root (or with sudo), or install them with:" >&2
    echo "    sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
