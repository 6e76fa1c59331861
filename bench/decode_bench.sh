#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors

# Wall clock, CPU time and peak memory of halcyra-decode writing both CSV
# files from a generated log (half T1, half T2 frames), fsync included, as
# medians of RUNS runs. With BASELINE, another build of the program (an older
# one copied aside) runs in turns with this one, paired, and both must write
# the same bytes.
#
#   bench/decode_bench.sh [BUILD_DIR]     (default build/testing)
#   FRAMES=1000000 RUNS=5 BASELINE=/tmp/halcyra-decode.old OPTIONS=--time
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/testing}
frames=${FRAMES:-1000000}
runs=${RUNS:-5}
decode=${DECODE:-$build/cli/halcyra-decode}
baseline=${BASELINE:-}
options=${OPTIONS:-}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
"$build/tools/halcyra-genlog" --t1 $((frames / 2)) --t2 $((frames - frames / 2)) >"$tmp/log"

# One run: appends "wall user system peak-KB" to the program's figures.
measure() {
    name=$1
    program=$2
    # shellcheck disable=SC2086 # OPTIONS holds several words
    /usr/bin/time -o "$tmp/time" -f '%e %U %S %M' "$program" $options \
        --t1 "$tmp/$name-t1.csv" --t2 "$tmp/$name-t2.csv" "$tmp/log"
    cat "$tmp/time" >>"$tmp/$name.runs"
    echo "  $name: $(awk '{ printf "%.2f s wall, %.2f s user, %.2f s system, %.1f MB", $1, $2, $3, $4 / 1024 }' "$tmp/time")"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
summary() {
    name=$1
    printf '%s, median of %d: ' "$name" "$runs"
    for column in 1 2 3 4; do
        eval "m$column=$(cut -d' ' -f$column "$tmp/$name.runs" | median)"
    done
    # shellcheck disable=SC2154 # m1..m4 come from the eval
    awk -v w="$m1" -v u="$m2" -v s="$m3" -v k="$m4" -v b="$(wc -c <"$tmp/log")" \
        'BEGIN { printf "%.2f s wall (%.0f MB/s of log), %.2f s user, %.2f s system, peak %.1f MB\n", w, b / w / 1e6, u, s, k / 1024 }'
}

echo "log: $frames frames, $(wc -c <"$tmp/log") bytes; load: $(cut -d' ' -f1-3 /proc/loadavg)"
i=1
while [ "$i" -le "$runs" ]; do
    echo "run $i"
    if [ -n "$baseline" ] && [ $((i % 2)) -eq 0 ]; then
        measure baseline "$baseline"
    fi
    measure current "$decode"
    if [ -n "$baseline" ] && [ $((i % 2)) -eq 1 ]; then
        measure baseline "$baseline"
    fi
    i=$((i + 1))
done
echo "load afterwards: $(cut -d' ' -f1-3 /proc/loadavg)"
summary current
if [ -n "$baseline" ]; then
    summary baseline
    awk 'NR == FNR { w[FNR] = $1; next } { print $1 / w[FNR] }' "$tmp/current.runs" "$tmp/baseline.runs" | median |
        awk '{ printf "median of the paired ratios baseline/current: %.2fx\n", $1 }'
    cmp "$tmp/current-t1.csv" "$tmp/baseline-t1.csv" && cmp "$tmp/current-t2.csv" "$tmp/baseline-t2.csv" &&
        echo "both write the same bytes"
fi
