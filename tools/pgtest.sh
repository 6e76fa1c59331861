#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors
#
# A throw-away PostgreSQL server for the tests: in a folder of its own, on
# 127.0.0.1 only, run by an unprivileged user (the server refuses root).
#
#   tools/pgtest.sh start DIR   starts it and writes its URI to DIR/uri
#   tools/pgtest.sh stop DIR    stops it and removes DIR
#   tools/pgtest.sh restart DIR stops it, ending every connection, and starts it again
#
# The server's own files go to a new folder in /tmp, which DIR names: the
# unprivileged user may not be able to enter DIR's parents (a build tree in
# /root).
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bindir/pg_ctl" ] || { echo "pgtest: no PostgreSQL server installed (package postgresql)" >&2; exit 1; }

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u nobody -- "$@"
    else
        "$@"
    fi
}

# A port nothing listens on now; the start is tried again should another
# program take it meanwhile.
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

dir=${2:?usage: $0 start|stop|restart DIR}
case "$1" in
start)
    "$0" stop "$dir" 2>/dev/null || true
    mkdir -p "$dir"
    home=$(mktemp -d /tmp/halcyra-pg-XXXXXX)
    echo "$home" >"$dir/home"
    [ "$(id -u)" -eq 0 ] && chown nobody "$home"
    chmod 700 "$home"
    as_owner "$bindir/initdb" -D "$home/data" -U halcyra -A trust -E UTF8 --no-sync >"$home/initdb.log" 2>&1 ||
        { cat "$home/initdb.log" >&2; exit 1; }
    for attempt in 1 2 3 4 5; do
        port=$(free_port)
        if as_owner "$bindir/pg_ctl" -D "$home/data" -l "$home/server.log" -w -t 60 \
            -o "-c listen_addresses=127.0.0.1 -p $port -k $home -c fsync=off -c max_connections=50" start >/dev/null; then
            echo "postgresql://halcyra@127.0.0.1:$port/postgres" >"$dir/uri"
            echo "pgtest: server on 127.0.0.1:$port"
            exit 0
        fi
    done
    cat "$home/server.log" >&2
    exit 1
    ;;
restart)
    home=$(cat "$dir/home")
    as_owner "$bindir/pg_ctl" -D "$home/data" -l "$home/server.log" -m fast -w -t 60 restart >/dev/null
    ;;
stop)
    if [ -f "$dir/home" ]; then
        home=$(cat "$dir/home")
        if [ -f "$home/data/postmaster.pid" ]; then
            as_owner "$bindir/pg_ctl" -D "$home/data" -m immediate -w stop >/dev/null 2>&1 || true
        fi
        case "$home" in /tmp/halcyra-pg-*) rm -rf "$home" ;; esac
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop|restart DIR" >&2
    exit 2
    ;;
esac
