#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need, and only those
# that are missing. Non-interactive; uses sudo when not run as root, and says what to install
# where there is no sudo.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-private-dev qt6-serialport-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    fonts-open-sans fonts-dejavu-core
    python3 python3-pyvisa python3-pyvisa-py python3-pymeasure python3-pytest python3-venv python3-setuptools
    python3-tango
    netcat-openbsd
    dpkg-dev file lintian acl systemd
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "Missing: ${missing[*]}" >&2
        echo "Install them as root (su -): apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
