#!/usr/bin/env python3
"""Plants the faults of tools/planted-faults.txt in the product one at a time, rebuilds, runs the
suite and tells which tests failed on each. A fault no test fails on is NOT CAUGHT: a test to add.

Each fault is applied in place and the file is put back before the next one, also on Ctrl-C or
a kill; a run that was killed outright (SIGKILL) is mended by the next run from the note it
leaves in the build folder. The build folder is an ordinary Debug build with the tests and
without sanitizers, kept between runs so that each fault costs an incremental build.

The exit status is 0 when every fault was caught, 1 when one was not or did not build, 2 when
the faults or the tree are not as expected.
"""

import argparse
import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FAULTS = os.path.join(ROOT, "tools", "planted-faults.txt")
PENDING = "planted-fault.pending.json"
RESULTS = "planted-faults.json"
SHOWN_NAMES = 3


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted(signal.Signals(signum).name)


STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


@contextlib.contextmanager
def signals_held():
    """A file is planted or put back whole: Ctrl-C waits until it is written."""
    signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_UNBLOCK, STOP_SIGNALS)


def give_up(text):
    print(text, file=sys.stderr)
    sys.exit(2)


def unescape(text):
    out = []
    i = 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in "n\\":
            out.append("\n" if text[i + 1] == "n" else "\\")
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def read_faults(path):
    faults = []
    current = None
    keys = ("id", "what", "file", "old", "new")
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            key, sep, value = line.partition(":")
            if not sep or key not in keys:
                give_up(f"{path}:{number}: expected one of {', '.join(keys)}")
            value = value[1:] if value.startswith(" ") else value
            if key == "id":
                current = {"id": value.strip(), "line": number}
                faults.append(current)
            elif current is None or key in current:
                give_up(f"{path}:{number}: '{key}' outside a fault or twice in one")
            else:
                current[key] = unescape(value) if key in ("old", "new") else value.strip()
    for fault in faults:
        missing = [k for k in keys if k not in fault]
        if missing:
            give_up(f"{path}:{fault['line']}: fault {fault['id']} lacks {', '.join(missing)}")
    ids = [f["id"] for f in faults]
    twice = sorted({i for i in ids if ids.count(i) > 1})
    if twice:
        give_up(f"{path}: ids used twice: {', '.join(twice)}")
    return faults


def check_faults(faults):
    """Every fault's text must occur exactly once, in a product file: a change to the product
    that moves it away is noticed here rather than silently planting nothing."""
    problems = []
    for fault in faults:
        rel = fault["file"]
        full = os.path.join(ROOT, rel)
        if rel.startswith("tests/") or not os.path.isfile(full):
            problems.append(f"{fault['id']}: {rel} is not a product file")
            continue
        with open(full, encoding="utf-8") as f:
            count = f.read().count(fault["old"])
        if count != 1:
            problems.append(f"{fault['id']}: its text occurs {count} times in {rel}")
        if fault["old"] == fault["new"]:
            problems.append(f"{fault['id']}: changes nothing")
    return problems


def restore_pending(build_dir):
    note = os.path.join(build_dir, PENDING)
    if not os.path.exists(note):
        return
    with open(note, encoding="utf-8") as f:
        pending = json.load(f)
    with open(os.path.join(ROOT, pending["file"]), "w", encoding="utf-8", newline="") as f:
        f.write(pending["original"])
    os.remove(note)
    print(f"put back {pending['file']}, left planted by an earlier run ({pending['id']})")


def run(command, log, env=None, cwd=ROOT):
    with open(log, "w", encoding="utf-8") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, env=env, cwd=cwd).returncode


def configure(build_dir, env, log):
    if os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        return True
    command = ["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Debug",
               "-DKESTRUN_BUILD_TESTS=ON", "-DKESTRUN_SANITIZE=OFF"]
    if shutil.which("ninja"):
        command += ["-G", "Ninja"]
    if shutil.which("ccache"):
        command += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    return run(command, log, env) == 0


FAILED_LINE = re.compile(r"^\s*\d+\s+-\s+(.+?)\s+\(([^)]*)\)\s*$")
QT_FAIL = re.compile(r"^FAIL!\s+:\s+[\w:]*::(\w+)\(")


def failing_tests(log):
    """The tests under ctest's "The following tests FAILED:", each with why when it is not a
    plain failure, and the failing functions of a Qt Test program, which is one test."""
    with open(log, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    failed = []
    listing = False
    for line in lines:
        if line.startswith("The following tests FAILED"):
            listing = True
            continue
        if listing:
            m = FAILED_LINE.match(line)
            if not m:
                break
            failed.append((m.group(1), m.group(2)))
    qt_functions = {}
    current = None
    for line in lines:
        start = re.match(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) ", line)
        if start:
            current = start.group(1)
        m = QT_FAIL.match(line)
        if m and current:
            qt_functions.setdefault(current, [])
            if m.group(1) not in qt_functions[current]:
                qt_functions[current].append(m.group(1))
    names = []
    for name, why in failed:
        shown = name
        if name in qt_functions:
            shown += " (" + ", ".join(qt_functions[name][:SHOWN_NAMES]) + ")"
        if why not in ("Failed",):
            shown += f" [{why}]"
        names.append(shown)
    return names


def build_and_test(build_dir, env, args, log_stem):
    """('build failed', []) or ('ran', failing test names)."""
    build = ["cmake", "--build", build_dir, "-j", str(args.jobs)]
    if run(build, log_stem + ".build.log", env) != 0:
        return "build failed", []
    ctest = ["ctest", "--test-dir", build_dir, "-j", str(args.jobs), "-LE", "soak",
             "-E", "^format$", "--timeout", str(args.timeout), "--output-on-failure"]
    test_env = dict(env, QT_QPA_PLATFORM="offscreen")
    run(ctest, log_stem + ".test.log", test_env)
    return "ran", failing_tests(log_stem + ".test.log")


def plant(fault, build_dir):
    path = os.path.join(ROOT, fault["file"])
    with open(path, encoding="utf-8", newline="") as f:
        original = f.read()
    # The note comes first: a kill between it and the write leaves at worst a note for an
    # unchanged file, which the next run writes back unchanged.
    with open(os.path.join(build_dir, PENDING), "w", encoding="utf-8") as f:
        json.dump({"id": fault["id"], "file": fault["file"], "original": original}, f)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(original.replace(fault["old"], fault["new"], 1))
    return original


def unplant(fault, original, build_dir):
    with open(os.path.join(ROOT, fault["file"]), "w", encoding="utf-8", newline="") as f:
        f.write(original)
    os.remove(os.path.join(build_dir, PENDING))


def cell(text):
    return text.replace("|", "\\|")


def table(results, previous):
    rows = ["| id | fault | file | failing tests (count, first few names) |",
            "| --- | --- | --- | --- |"]
    for r in results:
        if r["outcome"] == "build failed":
            failing = "**BUILD FAILED** (the fault does not compile)"
        elif not r["failing"]:
            failing = "**NOT CAUGHT**"
            before = previous.get(r["id"])
            if before:
                failing += " (caught before by: " + ", ".join(before[:SHOWN_NAMES]) + ")"
        else:
            names = r["failing"]
            failing = f"{len(names)}: " + ", ".join(names[:SHOWN_NAMES])
            if len(names) > SHOWN_NAMES:
                failing += ", ..."
        rows.append(f"| {r['id']} | {cell(r['what'])} | {r['file']} | {cell(failing)} |")
    caught = sum(1 for r in results if r["outcome"] == "ran" and r["failing"])
    rows.append("")
    rows.append(f"Caught {caught} of {len(results)} planted faults.")
    return "\n".join(rows) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build-faults"),
                        help="the build folder (default: build-faults in the tree)")
    parser.add_argument("--only", action="append", default=[], metavar="ID",
                        help="plant only this fault (repeatable, or ids separated by commas)")
    parser.add_argument("--list", action="store_true", help="list the faults and exit")
    parser.add_argument("--timeout", type=int, default=120,
                        help="seconds a test may take unless it sets its own (default 120)")
    parser.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    parser.add_argument("--no-baseline", action="store_true",
                        help="skip the run without any fault (which shows the suite passes)")
    parser.add_argument("--previous", metavar="FILE",
                        help="an earlier run's planted-faults.json: a fault not caught now is "
                             "shown with the tests that caught it then")
    parser.add_argument("--output", metavar="FILE", help="also write the table to FILE")
    args = parser.parse_args()

    build_dir = os.path.abspath(args.build_dir)
    os.makedirs(build_dir, exist_ok=True)
    restore_pending(build_dir)
    faults = read_faults(FAULTS)
    if args.list:
        for fault in faults:
            print(f"{fault['id']:24} {fault['file']:36} {fault['what']}")
        return 0
    wanted = [i for item in args.only for i in item.split(",") if i]
    unknown = [i for i in wanted if i not in {f["id"] for f in faults}]
    if unknown:
        print(f"no such fault: {', '.join(unknown)}", file=sys.stderr)
        return 2

    for sig in STOP_SIGNALS:
        signal.signal(sig, on_signal)
    problems = check_faults(faults)
    if problems:
        print("The faults no longer match the product; fix tools/planted-faults.txt:",
              file=sys.stderr)
        for p in problems:
            print("  " + p, file=sys.stderr)
        return 2
    if wanted:
        faults = [f for f in faults if f["id"] in wanted]

    previous = {}
    if args.previous:
        with open(args.previous, encoding="utf-8") as f:
            previous = {r["id"]: r["failing"] for r in json.load(f)["results"]}

    env = dict(os.environ)
    env.setdefault("CCACHE_BASEDIR", os.path.dirname(ROOT))
    logs = os.path.join(build_dir, "planted-faults")
    os.makedirs(logs, exist_ok=True)
    started = time.monotonic()
    results = []
    try:
        if not configure(build_dir, env, os.path.join(logs, "configure.log")):
            print(f"configuring failed: see {logs}/configure.log", file=sys.stderr)
            return 2
        ignored = set()
        if not args.no_baseline:
            outcome, failing = build_and_test(build_dir, env, args, os.path.join(logs, "baseline"))
            if outcome != "ran":
                print(f"the tree does not build: see {logs}/baseline.build.log", file=sys.stderr)
                return 2
            if failing:
                # A test that fails without any fault says nothing about one: left out below.
                print("failing without any fault (left out of the table): " + ", ".join(failing))
                ignored = {name.split(" ")[0] for name in failing}
            print(f"baseline: {time.monotonic() - started:.0f} s", flush=True)
        for number, fault in enumerate(faults, 1):
            t0 = time.monotonic()
            original = None
            try:
                with signals_held():
                    original = plant(fault, build_dir)
                outcome, failing = build_and_test(build_dir, env, args,
                                                  os.path.join(logs, fault["id"]))
            finally:
                if original is not None:
                    with signals_held():
                        unplant(fault, original, build_dir)
            failing = [n for n in failing if n.split(" ")[0] not in ignored]
            results.append(dict(fault, outcome=outcome, failing=failing))
            state = outcome if outcome != "ran" else (f"{len(failing)} failing" if failing
                                                      else "NOT CAUGHT")
            print(f"[{number}/{len(faults)}] {fault['id']}: {state} "
                  f"({time.monotonic() - t0:.0f} s)", flush=True)
    except Interrupted as stop:
        print(f"\nstopped by {stop}; the tree is as it was", file=sys.stderr)
        return 130
    except KeyboardInterrupt:
        print("\nstopped; the tree is as it was", file=sys.stderr)
        return 130

    elapsed = time.monotonic() - started
    text = table(results, previous)
    text += f"Run time: {elapsed / 60:.1f} min ({len(results)} faults, -j{args.jobs}).\n"
    print()
    print(text, end="")
    with open(os.path.join(build_dir, RESULTS), "w", encoding="utf-8") as f:
        json.dump({"elapsed_s": round(elapsed), "results": [
            {k: r[k] for k in ("id", "what", "file", "outcome", "failing")} for r in results]},
            f, indent=1)
    if args.output:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text)
    all_caught = all(r["outcome"] == "ran" and r["failing"] for r in results)
    return 0 if all_caught else 1


if __name__ == "__main__":
    sys.exit(main())
