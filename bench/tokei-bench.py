#!/usr/bin/python3
"""Breadth: which languages of tokei's test data the shipped table knows, and where it agrees.

tokei (a general line counter) keeps one sample per language in its tests/data folder; each
states tokei's own counts in a line such as "// 42 lines 24 code 9 comments 9 blanks". Each
sample is given to tarvik-count by name (as a file, not through a folder search, so a type
outside List counts too). A language is known when tarvik-count counts its file, and agrees
when its executable and comment lines equal tokei's code and comment lines. With Count_Mode=1
in the shipped table, lines made only of symbols are executable, as tokei counts them as code.

Usage: bench/tokei-bench.py TOKEI/tests/data [--tarvik build/tarvik-count]
                           [--settings data/Tarvik.ini] [--list]
"""
import argparse
import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
FIELD = {k: re.compile(r"(\d+) " + k) for k in ("lines", "code", "comments", "blanks")}


def stated(path):
    """tokei's counts from the first line of the file that states all four, or None."""
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            found = {k: r.search(line) for k, r in FIELD.items()}
            if all(found.values()):
                return {k: int(m.group(1)) for k, m in found.items()}
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("data")
    ap.add_argument("--tarvik", default=os.path.join(TOP, "build", "tarvik-count"))
    ap.add_argument("--settings", default=os.path.join(TOP, "data", "Tarvik.ini"))
    ap.add_argument("--list", action="store_true", help="print every sample, not only the differences")
    args = ap.parse_args()

    samples = {}
    for name in sorted(os.listdir(args.data)):
        path = os.path.join(os.path.abspath(args.data), name)
        if os.path.isfile(path):
            counts = stated(path)
            if counts:
                samples[path] = counts
    out = subprocess.run([args.tarvik, "-s", args.settings, "-j", "1", "-f", "json"] + list(samples),
                         check=True, capture_output=True).stdout
    results = {os.path.normpath(f["path"]): f for f in json.loads(out)["files"]}
    known = agree = 0
    unknown = []
    for path, t in samples.items():
        r = results.get(os.path.normpath(path))
        name = os.path.basename(path)
        if not r or r["outcome"] != "Counted":
            unknown.append(name)
            continue
        known += 1
        same = r["executable"] == t["code"] and r["comment"] == t["comments"]
        agree += same
        if args.list or not same:
            mark = "=" if same else "≠"
            print(f"{mark} {name:<28} tokei code {t['code']:>4} comments {t['comments']:>4}   "
                  f"tarvik executable {r['executable']:>4} comment {r['comment']:>4}   total {r['total']}/{t['lines']}")
    n = len(samples)
    print()
    print(f"unknown: {' '.join(unknown) or '-'}")
    print(f"samples with stated counts: {n}")
    print(f"known:  {known} ({100.0 * known / n:.1f} %)")
    print(f"agree:  {agree} ({100.0 * agree / n:.1f} % of all, {100.0 * agree / max(known, 1):.1f} % of known)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
