#!/bin/sh
# Placed by the build as openvpn/openvpn beside the client: runs the system's OpenVPN with the
# client's arguments. OpenVPN needs root or CAP_NET_ADMIN to create its tunnel device.
exec /usr/sbin/openvpn "$@"
