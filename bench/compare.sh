#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors

# Paired timing of halcyra-decode against bench/decode_py.py, the same job
# scripted the way a user would, on one generated log: each run writes both
# CSV files with both programs, in turns that swap which one goes first, so
# that a change in the machine's load hits both alike. Prints every pair, the
# medians and the median of the paired ratios, and checks that both decoded
# the same frames.
#
#   bench/compare.sh [BUILD_DIR]     (default build/testing)
#   FRAMES=100000 RUNS=5 PYTHON=python3 DECODE=path/to/halcyra-decode
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/testing}
frames=${FRAMES:-100000}
runs=${RUNS:-5}
python=${PYTHON:-python3}
decode=${DECODE:-$build/cli/halcyra-decode}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
"$build/tools/halcyra-genlog" --t1 $((frames / 2)) --t2 $((frames - frames / 2)) >"$tmp/log"

# Wall clock of a command in microseconds.
elapsed() {
    start=$(date +%s%N)
    "$@"
    echo $((($(date +%s%N) - start) / 1000))
}
tool() { "$decode" --t1 "$tmp/tool1.csv" --t2 "$tmp/tool2.csv" "$tmp/log"; }
script() { "$python" "$here/decode_py.py" --t1 "$tmp/py1.csv" --t2 "$tmp/py2.csv" "$tmp/log"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "log: $frames frames, $(wc -c <"$tmp/log") bytes; load: $(cut -d' ' -f1-3 /proc/loadavg)"
: >"$tmp/pairs"
i=1
while [ "$i" -le "$runs" ]; do
    if [ $((i % 2)) -eq 1 ]; then
        t=$(elapsed tool)
        p=$(elapsed script)
    else
        p=$(elapsed script)
        t=$(elapsed tool)
    fi
    echo "$t $p" >>"$tmp/pairs"
    awk -v i="$i" -v t="$t" -v p="$p" \
        'BEGIN { printf "run %d: halcyra-decode %.3f s, script %.3f s, %.1fx\n", i, t / 1e6, p / 1e6, p / t }'
    i=$((i + 1))
done
tm=$(cut -d' ' -f1 "$tmp/pairs" | median)
pm=$(cut -d' ' -f2 "$tmp/pairs" | median)
rm=$(awk '{ print $2 / $1 }' "$tmp/pairs" | median)
awk -v t="$tm" -v p="$pm" -v r="$rm" \
    'BEGIN { printf "median: halcyra-decode %.3f s, script %.3f s; median of the paired ratios %.1fx\n", t / 1e6, p / 1e6, r }'
echo "load afterwards: $(cut -d' ' -f1-3 /proc/loadavg)"

# The script writes the same number texts, so the files should even be equal;
# the same records in each is what the comparison needs.
for kind in 1 2; do
    if cmp -s "$tmp/tool$kind.csv" "$tmp/py$kind.csv"; then
        echo "T$kind: both files byte-identical"
    elif [ "$(wc -l <"$tmp/tool$kind.csv")" -eq "$(wc -l <"$tmp/py$kind.csv")" ]; then
        echo "T$kind: the same number of records, not byte-identical"
    else
        echo "T$kind: the programs decoded different frames" >&2
        exit 1
    fi
done
