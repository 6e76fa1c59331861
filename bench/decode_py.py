#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors

"""Decodes packet logs into T1 and T2 CSV files, written the way a user would
script it with the standard library: regular expressions, bytes.fromhex,
struct and csv. bench/compare.sh times it against halcyra-decode."""

import argparse
import csv
import re
import struct
import sys

ADC = 3.3 / 4095
CURRENT = 0.3052503
CELL_VOLT = 0.001369
BATT_VOLT = 0.001221
BUS_VOLT = 0.0009157
COMM_TEMP = (-0.0688181730026307, 159.188727583262)

# (caption, factor, offset) of the 32 words of a T1 frame; the uptime counts
# minutes and is shown in days.
T1_FIELDS = (
    [("Uptime", None, 0.0)]
    + [(name + " Curr", CURRENT, 0.0) for name in
       ("X Cells", "Y Cells", "Z Cells", "EMS", "CW bcn", "I2C Bus", "MCS",
        "COMM1", "COMM2", "ADCS")]
    + [("PayloadCurr", CURRENT, 0.0), ("TXS1 Curr", CURRENT, 0.0), ("TXS2 Curr", CURRENT, 0.0)]
    + [(name + " Volt", CELL_VOLT, 0.0) for name in ("X Cells", "Y Cells", "Z Cells")]
    + [(name + " Volt", BATT_VOLT, 0.0) for name in ("Batt1", "Batt2")]
    + [(name + " Volt", BUS_VOLT, 0.0) for name in
       ("EMS", "MCS", "COMM1", "COMM2", "ADCS", "Payload", "TXS1", "TXS2")]
    + [("EMS Temp", -0.052135, 159.18872)]
    + [("MPPT " + axis + " Volt", BUS_VOLT, 0.0) for axis in "XYZ"]
    + [("Ant deploy", ADC, 0.0)]
)

# (caption, struct format, byte offset, factor, offset) of a T2 frame.
T2_FIELDS = [
    ("Timestamp", "<I", 0, 1.0, 0.0),  # bit 31 cleared below
    ("Last UTC", "<i", 4, 1.0, 0.0),
    ("Clock drift", "<i", 8, 1.0, 0.0),
    ("Uptime", "<H", 12, None, 0.0),
    ("COMM1 RSSI", "<h", 30, ADC * 48.1874, -171.1065),
    ("COMM1 Temp1", "<h", 32) + COMM_TEMP,
    ("COMM1 Temp2", "<h", 34) + COMM_TEMP,
    ("COMM1 RX cnt", "<H", 36, 1.0, 0.0),
    ("COMM2 RSSI", "<h", 38, ADC * 49.8642, -199.5538),
    ("COMM2 Temp1", "<h", 40) + COMM_TEMP,
    ("COMM2 Temp2", "<h", 42) + COMM_TEMP,
    ("COMM2 RX cnt", "<H", 44, 1.0, 0.0),
    ("COMM2 TX cnt", "<H", 46, 1.0, 0.0),
]

HEADER = [f[0] for f in T1_FIELDS] + [f[0] for f in T2_FIELDS]

UTC_LINE = re.compile(r"^(20\d\d-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} UTC)", re.IGNORECASE)
RECEIVED = re.compile(r"\[(\d\d:\d\d):\d\dR\]", re.IGNORECASE)
CLOCK = re.compile(r"^(\d\d:\d\d) ")
FRAME = re.compile(r"(T[12])([0-9A-F]+)$", re.IGNORECASE)


def scaled(raw, factor, offset):
    return (raw / 1440 if factor is None else raw * factor) + offset


def decode_t1(payload):
    words = struct.unpack("<32H", payload)
    return [scaled(raw, factor, offset) for raw, (_, factor, offset) in zip(words, T1_FIELDS)]


def decode_t2(payload):
    values = []
    for caption, fmt, at, factor, offset in T2_FIELDS:
        (raw,) = struct.unpack_from(fmt, payload, at)
        if caption == "Timestamp":
            raw &= 0x7FFFFFFF
        values.append(scaled(raw, factor, offset))
    return values


def number(value):
    return "0" if value == 0 else format(value, ".15G")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--t1", help="CSV file for the T1 records")
    parser.add_argument("--t2", help="CSV file for the T2 records")
    parser.add_argument("--time", action="store_true", help="a first column with the frame time")
    parser.add_argument("logs", nargs="+")
    args = parser.parse_args()

    outputs = {}
    files = []
    for kind, path in (("T1", args.t1), ("T2", args.t2)):
        if path:
            f = open(path, "w", newline="")
            files.append(f)
            outputs[kind] = csv.writer(f, delimiter=";", lineterminator="\r\n")
            outputs[kind].writerow((["Frame time"] if args.time else []) + HEADER + [""])

    frame_time = ""
    for log in args.logs:
        # newline="" keeps CR, LF and CR LF as line ends, as receivers write them.
        with open(log, newline="", encoding="latin-1") as f:
            for line in f:
                line = line.rstrip("\r\n")
                m = UTC_LINE.match(line)
                if m:
                    frame_time = m.group(1).upper()
                m = RECEIVED.search(line)
                if m:
                    frame_time = m.group(1)
                m = CLOCK.match(line)
                if m:
                    frame_time = m.group(1)
                m = FRAME.search(line.replace(" ", ""))
                if not m:
                    continue
                kind, digits = m.group(1).upper(), m.group(2)
                if kind == "T1" and len(digits) == 128:
                    values = decode_t1(bytes.fromhex(digits)) + [0.0] * len(T2_FIELDS)
                elif kind == "T2" and len(digits) == 96:
                    values = [0.0] * len(T1_FIELDS) + decode_t2(bytes.fromhex(digits))
                else:
                    continue
                if kind in outputs:
                    row = [number(v) for v in values] + [""]
                    outputs[kind].writerow(([frame_time] if args.time else []) + row)
    for f in files:
        f.close()


if __name__ == "__main__":
    sys.exit(main())
