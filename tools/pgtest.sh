#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors
#
# A throw-away PostgreSQL server for the tests: in a folder of its own, on
# 127.0.0.1 only, run by an unprivileged user (the server refuses root).
#
#   tools/pgtest.sh start DIR   starts it and writes its URI to DIR/uri
#   tools/pgtest.sh stop DIR    stops it and removes DIR
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

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

dir=${2:?usage: $0 start|stop DIR}
case "$1" in
start)
    "$0" stop "$dir" 2>/dev/null || true
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown nobody "$dir"
    chmod 700 "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U halcyra -A trust -E UTF8 --no-sync >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    port=$(free_port)
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off -c max_connections=50" start >/dev/null ||
        { cat "$dir/server.log" >&2; exit 1; }
    echo "postgresql://halcyra@127.0.0.1:$port/postgres" >"$dir/uri"
    echo "pgtest: server on 127.0.0.1:$port"
    ;;
stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
