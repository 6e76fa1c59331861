#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors
#
# ./halcyra.sh run      installs what is missing, builds and starts the decoder
# ./halcyra.sh package  installs what is missing and builds the Debian package
#                       build/default/halcyra_<version>_<arch>.deb
# ./halcyra.sh test     installs what is missing, builds and runs every test:
#                       the plain build, the sanitizer build, and a short run
#                       of each fuzz target
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake make g++ clang clang-14 libclang-rt-14-dev clang-format pkg-config locales
    qt6-base-dev qt6-svg-dev libgl-dev libqcustomplot-dev libqcustomplot2.1-qt6
    libsqlite3-dev libsqlitecpp-dev libpq-dev libpqxx-dev postgresql
    libgtest-dev libbenchmark-dev libcli11-dev libsystemd-dev libtomlplusplus-dev time
    xvfb xauth fonts-dejavu-core fonts-liberation2 dbus-daemon
    man-db dpkg-dev file lintian desktop-file-utils appstream systemd direwolf
)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jobs=$(nproc 2>/dev/null || echo 2)

case "${1:-}" in
run)
    install_missing
    cmake --preset default >/dev/null
    cmake --build --preset default -j"$jobs"
    exec build/default/app/halcyra "${@:2}"
    ;;
package)
    install_missing
    cmake --preset default >/dev/null
    cmake --build --preset default -j"$jobs" --target package
    ;;
test)
    install_missing
    echo "== format check"
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
    echo "== plain build and tests"
    cmake --preset testing >/dev/null
    cmake --build --preset testing -j"$jobs"
    ctest --preset testing -j"$jobs"
    echo "== sanitizer build (ASan, UBSan) and tests"
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize -j"$jobs"
    ctest --preset sanitize -j"$jobs"
    echo "== fuzz targets, a short run each"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j"$jobs"
    ctest --preset fuzz -j"$jobs"
    ;;
*)
    echo "usage: $0 run|package|test" >&2
    exit 2
    ;;
esac
