#!/usr/bin/env bash
# Installs everything the project needs to build, run and test on Debian 12.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
# Qt 6 Widgets for Ringwatch's window (Qt Test comes with it), DejaVu so that offscreen
# rendering has glyphs, xvfb and xauth to run the window under a virtual X server; the country
# table is generated from libphonenumber's metadata (read with protobuf) and iso-codes' names
# (read with nlohmann's JSON library), found with pkg-config. The SIP provider speaks SIP and RTP
# through libre and librem and plays and records audio through PulseAudio's API (PipeWire serves
# it too); its tests call and are called by baresip, register with Kamailio and are attacked by
# SIPp, each started by the test itself on free loopback ports; the SIP fuzzer runs in a network
# namespace of its own with only loopback up (iproute2's ip). The crash reporter walks and
# symbolises every thread's stack with elfutils' libdw; packaging needs dpkg-dev (cpack's
# dependency scan), appstream and desktop-file-utils (to validate the desktop metadata).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev pkg-config
  qt6-base-dev fonts-dejavu-core xvfb xauth libphonenumber-dev libprotobuf-dev nlohmann-json3-dev
  iso-codes libre-dev librem-dev libpulse-dev baresip-core kamailio sip-tester iproute2
  libdw-dev dpkg-dev appstream desktop-file-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update
  as_root apt-get install -y --no-install-recommends "${missing[@]}"
fi
