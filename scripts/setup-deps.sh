#!/usr/bin/env bash
# Installs the Debian 12 packages Tesseron needs to build, run and test, when missing.
set -euo pipefail

PACKAGES=(
    g++ cmake ninja-build pkg-config clang-format clang libclang-rt-dev
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libgl-dev
    libpugixml-dev libcurl4-openssl-dev libidn2-dev libsimdjson-dev
    libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils
    microsocks dante-server openssh-server openssh-client openssl
    xvfb xauth icewm xdotool wmctrl x11-utils imagemagick
    lintian appstream desktop-file-utils dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

SUDO=()
if [[ $(id -u) -ne 0 ]]; then
    SUDO=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
# The SOCKS servers are only used by the tests, which start their own copies; keep the
# package scripts from starting system services.
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
