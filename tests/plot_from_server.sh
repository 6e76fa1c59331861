#!/bin/sh
# A station fills the server archive and a plot is drawn from it, as the
# README's station network does.
#   plot_from_server.sh SERVER_DIR HALCYRA_DECODE HALCYRA LOG OUTPUT
set -eu
base=$(sed 's,/[^/]*$,,' "$1/uri")
psql -q "$base/postgres" -c 'DROP DATABASE IF EXISTS plot' -c 'CREATE DATABASE plot'
rm -f "$5"
"$2" --archive="$base/plot" --station north "$4"
QT_QPA_PLATFORM=offscreen "$3" --plot batt1_volt,comm1_rssi --archive "$base/plot" --size 320x200 --output "$5"
test -s "$5"
