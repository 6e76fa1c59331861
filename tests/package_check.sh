#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors
#
# The Debian package of a build tree, checked as a user's machine sees it:
#   package_check.sh build|lintian|contents BUILD_DIR OUT_DIR VERSION APP_ID
# "build" makes OUT_DIR/halcyra_VERSION_ARCH.deb with CPack; the others check
# it. Nothing is installed into the system: "contents" unpacks into a
# temporary folder.
set -euo pipefail

mode=$1 build=$2 out=$3 version=$4 app_id=$5
deb=$out/halcyra_${version}_$(dpkg --print-architecture).deb

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case $mode in
build)
    rm -rf "$out"
    cpack --config "$build/CPackConfig.cmake" -B "$out"
    [ -f "$deb" ] || fail "CPack did not write $deb"
    ;;

lintian)
    lintian --fail-on error,warning --display-info "$deb"
    ;;

contents)
    root=$(mktemp -d)
    units=$(mktemp -d)
    trap 'rm -rf "$root" "$units"' EXIT

    # Every file the package holds, and nothing else: a forgotten install
    # rule or a test program installed by mistake both show here.
    expected=(
        usr/bin/halcyra
        usr/bin/halcyra-decode
        "usr/share/applications/$app_id.desktop"
        "usr/share/metainfo/$app_id.metainfo.xml"
        usr/share/icons/hicolor/scalable/apps/halcyra.svg
        usr/share/man/man1/halcyra.1.gz
        usr/share/man/man1/halcyra-decode.1.gz
        usr/share/doc/halcyra/copyright
        usr/share/doc/halcyra/changelog.gz
        usr/share/doc/halcyra/examples/sample.log.gz
        usr/share/doc/halcyra/examples/station.conf
        usr/lib/systemd/user/halcyra-station.service
        usr/lib/systemd/system/halcyra-station@.service
        usr/share/doc/halcyra/examples/limits.example.toml
    )
    for size in 16 22 24 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${size}x${size}/apps/halcyra.png")
    done
    diff -u <(printf '%s\n' "${expected[@]}" | sort) \
        <(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort) ||
        fail "the package's files differ from the expected list (- expected, + packaged)"

    dpkg-deb -x "$deb" "$root"

    # Where no window system can be reached, as on a build machine.
    for program in halcyra halcyra-decode; do
        printed=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/usr/bin/$program" --version) ||
            fail "$program --version failed"
        [ "$(head -n1 <<<"$printed")" = "$program $version" ] ||
            fail "$program --version printed \"$printed\", not \"$program $version\" first"
        grep -q 'archive' <<<"$printed" || fail "$program --version says nothing of the archive"
    done

    desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
    grep -qx 'Exec=halcyra %f' "$root/usr/share/applications/$app_id.desktop" || fail "the desktop entry does not run halcyra %f"
    appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"
    # The metainfo together with the desktop entry and icons it refers to.
    appstreamcli validate-tree --no-net "$root"

    # The release notes and the changelog describe this version.
    release=$(grep -o -m1 '<release version="[^"]*"' "$root/usr/share/metainfo/$app_id.metainfo.xml" | cut -d'"' -f2)
    [ "$release" = "$version" ] || fail "the newest release in the metainfo is $release, not $version"
    entry=$(zcat "$root/usr/share/doc/halcyra/changelog.gz" | head -n1)
    [[ $entry == "halcyra ($version) "* ]] || fail "the changelog starts with \"$entry\", not version $version"

    # What the package says of itself names what the programs do.
    description=$(dpkg-deb --field "$deb" Description)
    notes=$(cat "$root/usr/share/metainfo/$app_id.metainfo.xml")
    for feature in archive History PostgreSQL --plot; do
        grep -q -- "$feature" <<<"$description" || fail "the package description does not mention $feature"
        grep -q -- "$feature" <<<"$notes" || fail "the AppStream metainfo does not mention $feature"
    done
    # Both programs take an archive on a server wherever they take one.
    for program in halcyra halcyra-decode; do
        "$root/usr/bin/$program" --help | tr '\n' ' ' | grep -q 'PostgreSQL *URI' ||
            fail "$program --help does not say that FILE may be a PostgreSQL URI"
    done
    # The example is the sample log, decoded as from the source tree.
    zcat "$root/usr/share/doc/halcyra/examples/sample.log.gz" | "$root/usr/bin/halcyra-decode" --summary >/dev/null \
        2>"$root/summary" || fail "halcyra-decode cannot read the example log"
    grep -q '^T1 frames: [1-9]' "$root/summary" || fail "the example log holds no T1 frame"

    # Each man page is that of the packaged program: its version, and every
    # option its --help names.
    for program in halcyra halcyra-decode; do
        page=$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$program.1.gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man warns about $program(1): $warnings"
        grep -q "^\.TH .*\"$program $version\"" <<<"$page" || fail "$program(1) is not of version $version"
        for option in $("$root/usr/bin/$program" --help | grep -o -- '--[a-z0-9][a-z0-9-]*' | sort -u); do
            grep -q -- "$option" <<<"$page" || fail "$program(1) does not mention $option"
        done
    done

    # The station's units, read by systemd's own checker without a running
    # systemd: the template in a system tree of the package's program and the
    # machine's own targets, the user unit by a user manager's rules with its
    # program in the unpacked package. The checker reports a misspelt or
    # invalid setting only as a warning, so any output fails.
    example=$root/usr/share/doc/halcyra/examples/station.conf
    for key in LOG ARCHIVE STATION; do
        grep -Eq "^#?$key =" "$example" || fail "the example station.conf does not show $key"
    done
    mkdir -p "$units/usr/bin" "$units/usr/lib/systemd" "$units/user" "$units/runtime"
    cp -r /usr/lib/systemd/system "$units/usr/lib/systemd/"
    cp "$root/usr/lib/systemd/system/halcyra-station@.service" "$units/usr/lib/systemd/system/"
    cp "$root/usr/bin/halcyra-decode" "$units/usr/bin/"
    found=$(MANPATH="$root/usr/share/man" systemd-analyze verify --root="$units" --recursive-errors=no \
        --generators=no halcyra-station@ham.service 2>&1) || fail "systemd-analyze verify failed: $found"
    [ -z "$found" ] || fail "systemd-analyze finds fault with halcyra-station@.service: $found"
    # Its sandbox, as systemd rates it: 1.5 of 10 ("OK"); a setting lost or
    # weakened raises the figure.
    systemd-analyze security --offline=yes --threshold=15 --root="$units" halcyra-station@ham.service >"$units/security" ||
        fail "halcyra-station@.service is less confined than before: $(tail -n1 "$units/security")"
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$root/usr/lib/systemd/user/halcyra-station.service" \
        >"$units/user/halcyra-station.service"
    grep -q "^ExecStart=$root/usr/bin/halcyra-decode " "$units/user/halcyra-station.service" ||
        fail "the user unit does not run /usr/bin/halcyra-decode"
    found=$(MANPATH="$root/usr/share/man" XDG_RUNTIME_DIR="$units/runtime" systemd-analyze --user verify \
        --generators=no "$units/user/halcyra-station.service" 2>&1) || fail "systemd-analyze verify failed: $found"
    [ -z "$found" ] || fail "systemd-analyze finds fault with halcyra-station.service: $found"

    # The user unit's own command line, with no configuration where it
    # looks: status 2, which its RestartPreventExitStatus= takes for a
    # configuration to fix rather than a failure to retry.
    read -ra command <<<"$(sed -n 's/^ExecStart=//p' "$units/user/halcyra-station.service")"
    command=("${command[@]//%E/$units/config-home}")
    status=0
    "${command[@]}" </dev/null >/dev/null 2>"$units/err" || status=$?
    [ "$status" = 2 ] || fail "the user unit's command exited with $status without its configuration, not 2: $(cat "$units/err")"

    echo "package contents: all checks passed"
    ;;

*)
    echo "usage: $0 build|lintian|contents BUILD_DIR OUT_DIR VERSION APP_ID" >&2
    exit 2
    ;;
esac
