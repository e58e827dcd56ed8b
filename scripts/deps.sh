#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrow builds, runs and tests with.
# Sourced by scripts/run and scripts/test; installs only what is missing.
set -euo pipefail

# qt6-base-dev brings Qt's DBus and Network modules too: notifications without a tray,
# and a second launch reaching the running program.
KESTROW_RUN_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev zlib1g-dev)
KESTROW_TEST_PACKAGES=(googletest libgtest-dev clang libclang-rt-14-dev binutils dosfstools fusefat btrfs-progs
    desktop-file-utils appstream bash-completion groff-base dpkg-dev file dbus-daemon acl attr rsync libcap2-bin
    clang-format strace python3)
# scripts/package: dpkg-shlibdeps works out the package's dependencies; cpack finds
# the programs in it with file.
KESTROW_PACKAGE_PACKAGES=(dpkg-dev file)

kestrow_install_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Run as root to install: ${missing[*]}" >&2; return 1; }
        sudo="sudo"
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
