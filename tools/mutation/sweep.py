#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2014-2026 Halcyra ground software contributors
"""Mutation sweep: plants one fault at a time, rebuilds, runs the tests.

Each mutant in mutants.txt names a file, a snippet that occurs there exactly
once, and what replaces it. A mutant whose snippet is gone or found twice
(the code moved on) is reported as stale, not run. The file is put back from
a saved copy after each mutant, also when the sweep is interrupted; a sweep
killed outright leaves a note in the build tree, and the next start restores
from it before anything else.

Run after the testing build, from anywhere in the source tree:
    tools/mutation/sweep.py                # every mutant, the tests of its area
    tools/mutation/sweep.py --only archive # one area (repeat or comma-separate)
    tools/mutation/sweep.py --all          # every test for every mutant
    tools/mutation/sweep.py --list         # the mutants, and which are stale
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "testing"
STATE = BUILD / "mutation"
NOTE = STATE / "applied.json"  # the file under mutation and its saved copy

# The test programs that exercise each area. Tests driven by a script (no
# program of ours as their command) are named as they are.
AREA_PROGRAMS = {
    "decoder": {"decoder_tests", "cli_tests", "logbox_test"},
    "archive": {"archive_tests", "archive_cli_tests", "plot_from_server"},
    "cli": {"cli_tests", "archive_cli_tests"},
    "history": {"history_test"},
    "logbox": {"logbox_test", "follow_test", "window_test"},
    "follower": {"follow_test", "archive_window_test", "logtail_test"},
    "window": {"archive_window_test", "window_test", "conventions_test"},
    "tnc": {"tnc_tests"},
    "limits": {"decoder_tests", "history_test", "health_test"},
    "station": {"station_tests", "tnc_station_tests"},
}
# Never run for a mutant: they package the build, which no mutant changes
# in a way they look at, and take minutes.
EXCLUDED = "^package_"


@dataclass
class Mutant:
    id: str
    area: str
    file: str
    what: str = ""
    find: str = ""
    replace: str = ""
    result: str = ""
    caught_by: list = field(default_factory=list)
    seconds: float = 0.0


def parse_mutants(path):
    """=== id | area | file, then "what:", "--- find" and "--- replace" blocks."""
    mutants, current, block = [], None, None
    for raw in path.read_text().splitlines():
        if raw.startswith("=== "):
            parts = [p.strip() for p in raw[4:].split("|")]
            if len(parts) != 3:
                sys.exit(f"{path}: bad header: {raw}")
            current, block = Mutant(*parts), None
            mutants.append(current)
        elif current is None or raw == "#" or raw.startswith("# "):
            continue  # comments ("#include" and the like are code)
        elif raw.startswith("what: ") and block is None:
            current.what = raw[6:].strip()
        elif raw in ("--- find", "--- replace"):
            block = raw[4:]
            setattr(current, block, None)
        elif block:
            old = getattr(current, block)
            setattr(current, block, raw if old is None else old + "\n" + raw)
    for m in mutants:
        # Blank lines between records are no part of a snippet.
        m.find = (m.find or "").rstrip("\n")
        m.replace = (m.replace or "").rstrip("\n")
        if not m.find or m.find == m.replace:
            sys.exit(f"{path}: mutant {m.id} changes nothing")
    ids = [m.id for m in mutants]
    if len(ids) != len(set(ids)):
        sys.exit(f"{path}: an id is used twice")
    return mutants


def staleness(m):
    source = ROOT / m.file
    if not source.exists():
        return "file gone"
    n = source.read_text().count(m.find)
    return "" if n == 1 else ("snippet gone" if n == 0 else f"snippet found {n} times")


class Restorer:
    """Holds the one file under mutation and puts it back, whatever happens."""

    def __init__(self):
        self.path = None
        self.original = None

    def recover(self):
        if not NOTE.exists():
            return
        note = json.loads(NOTE.read_text())
        target, saved = Path(note["file"]), Path(note["saved"])
        if saved.exists():
            shutil.copyfile(saved, target)
            print(f"restored {target} from {saved}, left by an interrupted sweep")
        NOTE.unlink()

    def apply(self, m):
        self.path = ROOT / m.file
        self.original = self.path.read_bytes()
        saved = STATE / "saved" / m.file.replace("/", "__")
        saved.parent.mkdir(parents=True, exist_ok=True)
        saved.write_bytes(self.original)
        NOTE.write_text(json.dumps({"file": str(self.path), "saved": str(saved)}))
        text = self.original.decode()
        self.path.write_text(text.replace(m.find, m.replace, 1))

    def restore(self):
        if self.path is None:
            return
        self.path.write_bytes(self.original)
        NOTE.unlink(missing_ok=True)
        self.path = None


running = None  # the build or test run under way, a process group of its own


def run(cmd, log, timeout=None):
    global running
    with open(log, "w") as out:
        running = subprocess.Popen(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        try:
            return running.wait(timeout=timeout)
        finally:
            if running.poll() is None:
                # As Ctrl+C does: make then deletes what it was writing,
                # rather than leave a half-linked program that looks new.
                os.killpg(running.pid, signal.SIGINT)
                try:
                    running.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    os.killpg(running.pid, signal.SIGKILL)
                    running.wait()
            running = None


def build(log, areas=None):
    """Builds the programs that test `areas`, or everything."""
    targets = []
    if areas:
        programs = set().union(*(AREA_PROGRAMS[a] for a in areas))
        if "plot_from_server" in programs:  # a script, run on both programs
            programs = programs - {"plot_from_server"} | {"halcyra", "halcyra-decode"}
        targets = ["--target", *sorted(programs)]
    return run(["cmake", "--build", "--preset", "testing", "-j2", *targets], log) == 0


def list_tests():
    """The program each test runs, by ctest's number of the test."""
    out = subprocess.run(["ctest", "--preset", "testing", "-N", "--show-only=json-v1"], cwd=ROOT,
                         capture_output=True, text=True, check=True).stdout
    tests = {}
    for number, t in enumerate(json.loads(out)["tests"], 1):
        command = t.get("command") or [""]
        program = Path(command[0]).name
        tests[number] = (t["name"], program.removesuffix(".sh"))
    return tests


def test_selection(tests, areas, everything):
    """ctest's arguments that choose the tests: by number, as the names of
    parametrised tests hold more parentheses than a ctest pattern may."""
    if everything:
        return ["-E", EXCLUDED]
    wanted = set().union(*(AREA_PROGRAMS[a] for a in areas))
    numbers = [str(n) for n, (name, program) in tests.items() if program in wanted or name in wanted]
    # A range of none (0 to 0), then the tests one by one; ctest adds the
    # fixtures they need (the test server). No -E beside it: ctest would
    # count the numbers among the tests that -E leaves.
    return ["-I", "0,0,0," + ",".join(numbers)]


FAILED = re.compile(r"^\s*\d+ - (.+?) \(([^()]+)\)\s*$")
RESULT = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) ")
QT_FAIL = re.compile(r"^FAIL!  : \w+::(\w+)\(")


def run_tests(selection, log, timeout, jobs):
    cmd = ["ctest", "--preset", "testing", *selection, "--timeout", str(timeout), "-j", str(jobs)]
    return failures(log, run(cmd, log))


def failures(log, status):
    failed, listing, current, functions = [], False, None, {}
    for line in Path(log).read_text(errors="replace").splitlines():
        if m := RESULT.match(line):
            current = m.group(1)
        elif m := QT_FAIL.match(line):
            # A Qt Test program is one ctest test: name its failing functions.
            functions.setdefault(current, []).append(m.group(1))
        elif line.startswith("The following tests FAILED"):
            listing = True
        elif listing and (m := FAILED.match(line)):
            name = m.group(1).split("  #")[0]  # without the parameter's bytes
            if m.group(2) != "Failed":
                name += f" ({m.group(2)})"
            failed += [f"{name}: {f}" for f in dict.fromkeys(functions.get(m.group(1), []))] or [name]
    if status != 0 and not failed:
        # No test failed, yet ctest did: it ran none, or could not run.
        raise RuntimeError(f"ctest failed without a failing test: see {log}")
    return failed


def try_mutant(m, restorer, selection, args):
    if stale := staleness(m):
        m.result, m.caught_by = "stale", [stale]
        return
    start = time.monotonic()
    try:
        restorer.apply(m)
        log = STATE / f"{m.id}.log"
        if not build(log, None if args.all else {m.area}):
            m.result, m.caught_by = "no build", [f"see {log.relative_to(ROOT)}"]
            return
        m.caught_by = run_tests(selection, log, args.timeout, args.jobs)
        m.result = "caught" if m.caught_by else "survived"
    finally:
        restorer.restore()
        m.seconds = time.monotonic() - start


def table(mutants):
    rows = [("id", "area", "result", "caught by", "s")]
    for m in mutants:
        by = ", ".join(m.caught_by[:2]) + (f" +{len(m.caught_by) - 2}" if len(m.caught_by) > 2 else "")
        rows.append((m.id, m.area, m.result, by, f"{m.seconds:.0f}" if m.seconds else ""))
    widths = [max(len(r[i]) for r in rows) for i in range(5)]
    lines = ["| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |" for r in rows]
    lines.insert(1, "|" + "|".join("-" * (w + 2) for w in widths) + "|")
    return "\n".join(lines)


def summary(mutants):
    ran = [m for m in mutants if m.result in ("caught", "survived")]
    caught = sum(m.result == "caught" for m in ran)
    stale = sum(m.result == "stale" for m in mutants)
    broken = sum(m.result == "no build" for m in mutants)
    share = f" ({100 * caught / len(ran):.0f} %)" if ran else ""
    return (f"caught {caught} of {len(ran)} mutants{share}; {stale} stale, {broken} did not build, "
            f"{len(mutants) - len(ran) - stale - broken} not run")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--only", action="append", default=[], metavar="AREA",
                        help="only the mutants of these areas: " + ", ".join(AREA_PROGRAMS))
    parser.add_argument("--id", action="append", default=[], help="only these mutants (repeatable)")
    parser.add_argument("--all", action="store_true", help="run every test for each mutant, not only its area's")
    parser.add_argument("--list", action="store_true", help="list the mutants and which are stale, run nothing")
    parser.add_argument("--timeout", type=int, default=300, help="seconds for one test (default 300)")
    parser.add_argument("-j", "--jobs", type=int, default=1, help="tests at once (default 1)")
    parser.add_argument("--no-baseline", action="store_true",
                        help="skip running the chosen tests once on the unchanged tree first")
    parser.add_argument("--mutants", type=Path, default=Path(__file__).with_name("mutants.txt"))
    args = parser.parse_args()

    mutants = parse_mutants(args.mutants)
    areas = {a for names in args.only for a in names.split(",") if a}
    unknown = areas - AREA_PROGRAMS.keys() | {m.area for m in mutants} - AREA_PROGRAMS.keys()
    if unknown:
        sys.exit(f"unknown area: {', '.join(sorted(unknown))}; the areas are {', '.join(AREA_PROGRAMS)}")
    chosen = [m for m in mutants if (not areas or m.area in areas) and (not args.id or m.id in args.id)]
    if not chosen:
        sys.exit("no mutant chosen")

    if args.list:
        if NOTE.exists():
            print(f"note: an interrupted sweep left a mutant in place; the next sweep restores it ({NOTE})")
        for m in chosen:
            stale = staleness(m)
            print(f"{m.id:28} {m.area:9} {m.file:32} {'STALE (' + stale + ') ' if stale else ''}{m.what}")
        print(f"{len(chosen)} mutants, {sum(bool(staleness(m)) for m in chosen)} stale")
        return 0

    if not (BUILD / "CMakeCache.txt").exists():
        sys.exit("no testing build: run `cmake --preset testing && cmake --build --preset testing` first")
    STATE.mkdir(parents=True, exist_ok=True)
    restorer = Restorer()
    restorer.recover()
    # SIGTERM and SIGHUP end the sweep as Ctrl+C does: through the restore below.
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, signal.default_int_handler)

    touched = sorted({m.file for m in chosen})
    dirty = subprocess.run(["git", "status", "--porcelain", "--", *touched], cwd=ROOT, capture_output=True,
                           text=True).stdout.strip()
    if dirty:
        print("note: files under mutation have changes of their own; they are kept:\n" + dirty)

    stopped = ""
    try:
        if not build(STATE / "build.log"):
            sys.exit(f"the unchanged tree does not build: see {STATE / 'build.log'}")
        tests = list_tests()
        if not args.no_baseline:
            selection = test_selection(tests, {m.area for m in chosen}, args.all)
            failing = run_tests(selection, STATE / "baseline.log", args.timeout, args.jobs)
            if failing:
                sys.exit(f"tests fail on the unchanged tree ({', '.join(failing)}): see {STATE / 'baseline.log'}")
        for i, m in enumerate(chosen, 1):
            print(f"[{i}/{len(chosen)}] {m.id}: {m.what}", flush=True)
            try_mutant(m, restorer, test_selection(tests, {m.area}, args.all), args)
            print(f"    {m.result}: {', '.join(m.caught_by)} ({m.seconds:.0f} s)", flush=True)
    except KeyboardInterrupt:
        stopped = "interrupted"
    except RuntimeError as error:
        stopped = str(error)
    finally:
        restorer.restore()
    if stopped:
        print("\n" + stopped, file=sys.stderr)

    report = table(chosen) + "\n\n" + summary(chosen) + "\n"
    print("\n" + report)
    (STATE / "last-table.md").write_text(report)
    if subprocess.run(["git", "diff", "--quiet", "--", *touched], cwd=ROOT).returncode != 0 and not dirty:
        print("WARNING: a file under mutation differs from git after the sweep", file=sys.stderr)
        return 3
    if not stopped:
        # The build tree is left matching the sources again.
        build(STATE / "build.log")
    return 0 if not stopped else 130 if stopped == "interrupted" else 2


if __name__ == "__main__":
    sys.exit(main())
