#!/usr/bin/env python3
"""Keeps the figures of a benchmark run and compares a run with them.

  bench/figures.py save OUTPUT      writes bench/figures/<machine>.json from a bench/run output
  bench/figures.py compare OUTPUT   prints each figure beside the saved one; exit 1 when any is
                                    more than 15 % worse
  bench/figures.py worse OUTPUT     names the benchmarks with a figure more than 15 % worse

OUTPUT is what bench/run printed: "== name" before each benchmark, then its "figure: value unit"
lines. Figures are already the best of their rounds; a benchmark that ran more than once counts the
best value of each figure over its runs. Whether more is better is read from the figure:
ratios, shares and rates per second are better higher; times, factors and sizes are better lower; a
figure that is neither is kept and shown but not judged. Nor is a baseline's (the sqlite3 shell, the
reference loop, wrk's wire limit, the gateway alone): it measures the machine, not the program, and
the program's ratios against it already carry what it says."""

import datetime
import json
import os
import re
import socket
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORSE_BY = 0.15
BASELINE = re.compile(r"sqlite3 shell|\bbaseline\b|wire limit|gateway alone|ordered binary")
LINE = re.compile(r"^(?P<name>[^:=][^:]*): (?P<value>-?[0-9]+(?:\.[0-9]+)?)(?: (?P<unit>[^\s(]+))?")


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def machine():
    """The kind of machine: its CPU model and core count, so that runs on like machines compare."""
    slug = re.sub(r"[^a-z0-9]+", "-", cpu_model().lower()).strip("-")
    return f"{slug}-{os.cpu_count()}-cores"


def direction(name, unit):
    """+1 when a higher value is better, -1 when a lower one is, 0 when neither is clear."""
    text = f"{name} {unit or ''}".lower()
    if "ratio" in text or "share" in text or "/s" in (unit or "") or "per second" in text:
        return 1
    if unit in ("s", "ms", "us", "x", "MB", "KB", "bytes") or "seconds" in text or "factor" in text:
        return -1
    return 0


def read(path):
    figures = {}
    benchmark = None
    with open(path) as output:
        for line in output:
            line = line.rstrip("\n")
            if line.startswith("== "):
                benchmark = line[3:].strip()
                continue
            match = LINE.match(line)
            if benchmark and match:
                key = f"{benchmark} / {match['name'].strip()}"
                figure = {"value": float(match["value"]), "unit": match["unit"] or "",
                          "better": direction(match["name"], match["unit"])}
                kept = figures.get(key)
                if kept is None or figure["better"] * (figure["value"] - kept["value"]) > 0:
                    figures[key] = figure
    return figures


def saved_path():
    return os.environ.get("TELLWAVE_BENCH_FIGURES") or os.path.join(ROOT, "bench", "figures", machine() + ".json")


def commit():
    try:
        return subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], capture_output=True,
                              text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def save(output):
    figures = read(output)
    if not figures:
        sys.exit("bench/figures.py: the output holds no figures")
    path = saved_path()
    os.makedirs(os.path.dirname(path), exist_ok=True)
    record = {"machine": machine(), "host": socket.gethostname(), "cpu": cpu_model(), "cores": os.cpu_count(),
              "commit": commit(), "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
              "figures": figures}
    with open(path, "w") as out:
        json.dump(record, out, indent=1, sort_keys=True)
        out.write("\n")
    print(f"bench/figures.py: {len(figures)} figures saved in {os.path.relpath(path, ROOT)}")


def saved_figures():
    path = saved_path()
    try:
        with open(path) as data:
            return json.load(data)
    except (OSError, ValueError) as error:
        sys.exit(f"bench/figures.py: no saved figures for this machine to compare with ({path}: {error})")


def judged(figures, saved):
    """Each figure with its saved value, its change and whether it is worse (None for a new figure)."""
    for key, now in figures.items():
        before = saved["figures"].get(key)
        if before is None:
            yield key, now, None, 0.0, False
            continue
        change = (now["value"] - before["value"]) / before["value"] if before["value"] else 0.0
        worse = not BASELINE.search(key) and now["better"] != 0 and -now["better"] * change > WORSE_BY
        yield key, now, before, change, worse


def worse(output):
    names = []
    for key, _, _, _, is_worse in judged(read(output), saved_figures()):
        benchmark = key.split(" / ", 1)[0]
        if is_worse and benchmark not in names:
            names.append(benchmark)
    print(" ".join(names))
    return 0


def compare(output):
    saved = saved_figures()
    print(f"compared with {saved['commit']} of {saved['date']} ({saved['cpu']}, {saved['cores']} cores)")
    count = 0
    for key, now, before, change, is_worse in judged(read(output), saved):
        if before is None:
            print(f"  {key}: {now['value']:g} {now['unit']} (new)")
            continue
        mark = "  WORSE" if is_worse else "  (baseline, not judged)" if BASELINE.search(key) else ""
        count += is_worse
        print(f"  {key}: {now['value']:g} {now['unit']} (saved {before['value']:g}, {change:+.1%}){mark}")
    print(f"{count} figures more than {WORSE_BY:.0%} worse")
    return 1 if count else 0


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("save", "compare", "worse"):
        sys.exit(__doc__)
    if sys.argv[1] == "save":
        save(sys.argv[2])
        return 0
    return compare(sys.argv[2]) if sys.argv[1] == "compare" else worse(sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())
