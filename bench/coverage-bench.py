#!/usr/bin/python3
"""Coverage of real repositories: the share of their source bytes that a folder count covers.

For each checkout below CORPUS (one folder per repository), scc (a general line counter) tells
which files are source and in which language; tarvik-count, run on the folder with the shipped
data/Tarvik.ini as a user would run it, tells which files it counts. The coverage of a tree is
the bytes of scc's source files that tarvik-count counts, over the bytes of all scc's source
files. Prose and data (scc's languages in SET_ASIDE) are left out of both.

Usage: bench/coverage-bench.py CORPUS [--tarvik build/tarvik-count] [--settings data/Tarvik.ini]
                                      [--top 5] [--json FILE] [--compare OLD_INI]
With --compare, the files both tables count are also counted with OLD_INI, and the executable and
comment lines that move are summed per file type (what a new table changes in old figures).
scc is taken from $SCC, else from PATH; without it the bench says so and stops (exit 0).
"""
import argparse
import collections
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)

# scc's languages that are prose, data or no code at all: not part of the source total.
SET_ASIDE = {
    "Markdown", "Plain Text", "Text", "JSON", "JSONL", "CSV", "TSV", "ReStructuredText",
    "AsciiDoc", "License", "Org", "Textile", "TeX", "LaTeX", "BibTeX", "Patch", "Docker ignore", "gitignore",
    "Jupyter",
}


def find_scc():
    scc = os.environ.get("SCC") or shutil.which("scc")
    if scc and os.access(scc, os.X_OK):
        return scc
    return None


def scc_files(scc, tree):
    """{absolute path: (language, bytes)} for every file scc recognises under tree."""
    out = subprocess.run([scc, "--format", "json", "--by-file", "--no-cocomo", "--no-complexity", tree],
                         check=True, capture_output=True).stdout
    files = {}
    for lang in json.loads(out):
        for f in lang.get("Files") or []:
            name = f["Language"].replace(" (min)", "").replace(" (gen)", "")
            files[os.path.normpath(os.path.abspath(f["Location"]))] = (name, f["Bytes"])
    return files


def tarvik_files(tool, ini, tree):
    """{path: (executable, comment)} of the files tarvik-count's folder count takes (counted or
    not analysable)."""
    out = subprocess.run([tool, "-s", ini, "--subdirs", "on", "-j", str(os.cpu_count() or 1), "-f", "json", tree],
                         check=True, capture_output=True).stdout
    return {os.path.normpath(f["path"]): (f["executable"], f["comment"]) for f in json.loads(out)["files"]
            if f["outcome"] in ("Counted", "NotAnalysable")}


def kind_of(path):
    base = os.path.basename(path)
    return "*." + base.rsplit(".", 1)[1] if "." in base.lstrip(".") else base


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("corpus")
    ap.add_argument("--tarvik", default=os.path.join(TOP, "build", "tarvik-count"))
    ap.add_argument("--settings", default=os.path.join(TOP, "data", "Tarvik.ini"))
    ap.add_argument("--top", type=int, default=5, help="missed kinds shown per tree")
    ap.add_argument("--json", help="also write the figures to this file")
    ap.add_argument("--compare", metavar="OLD_INI", help="also show how the figures move from OLD_INI")
    args = ap.parse_args()

    scc = find_scc()
    if not scc:
        print("coverage-bench: scc not found (set SCC=/path/to/scc or put scc on PATH): skipped")
        return 0
    version = subprocess.run([scc, "--version"], capture_output=True, text=True).stdout.strip()
    corpus = os.path.abspath(args.corpus)
    trees = sorted(d for d in os.listdir(corpus) if os.path.isdir(os.path.join(corpus, d)))
    print(f"scc: {scc} ({version}); tarvik-count: {args.tarvik}; settings: {args.settings}")
    print(f"set aside (prose and data): {', '.join(sorted(SET_ASIDE))}")
    print()
    print(f"{'tree':<14} {'source MiB':>10} {'covered':>8} {'aside MiB':>9}  biggest kinds missed (KiB)")
    total_src = total_cov = 0
    rows = []
    missed_all = collections.Counter()
    moves = collections.defaultdict(lambda: [0, 0, 0, 0, 0])  # kind: files, old exe, new exe, old com, new com
    for name in trees:
        tree = os.path.join(corpus, name)
        sfiles = scc_files(scc, tree)
        tfiles = tarvik_files(args.tarvik, args.settings, tree)
        src = cov = aside = 0
        missed = collections.Counter()
        for path, (lang, size) in sfiles.items():
            if lang in SET_ASIDE:
                aside += size
                continue
            src += size
            if path in tfiles:
                cov += size
            else:
                missed[f"{lang} {kind_of(path)}"] += size
                missed_all[f"{lang} {kind_of(path)}"] += size
        if args.compare:
            for path, (exe, com) in tarvik_files(args.tarvik, args.compare, tree).items():
                if path in tfiles:
                    m = moves[kind_of(path)]
                    m[0] += 1
                    m[1] += exe
                    m[2] += tfiles[path][0]
                    m[3] += com
                    m[4] += tfiles[path][1]
        total_src += src
        total_cov += cov
        share = 100.0 * cov / src if src else 100.0
        worst = ", ".join(f"{k} {v // 1024}" for k, v in missed.most_common(args.top))
        print(f"{name:<14} {src / 1048576:>10.1f} {share:>7.1f}% {aside / 1048576:>9.1f}  {worst}")
        rows.append({"tree": name, "sourceBytes": src, "coveredBytes": cov, "coverage": round(share, 2),
                     "missed": missed.most_common(args.top)})
    share = 100.0 * total_cov / total_src if total_src else 100.0
    print(f"{'all':<14} {total_src / 1048576:>10.1f} {share:>7.1f}%")
    print()
    print("biggest kinds missed over the set (KiB): "
          + ", ".join(f"{k} {v // 1024}" for k, v in missed_all.most_common(args.top * 3)))
    if args.compare:
        print()
        print(f"figures that move from {args.compare} (files counted by both; executable, comment lines):")
        changed = [(k, m) for k, m in moves.items() if m[1] != m[2] or m[3] != m[4]]
        changed.sort(key=lambda km: -(abs(km[1][2] - km[1][1]) + abs(km[1][4] - km[1][3])))
        for k, m in changed[:args.top * 6]:
            print(f"  {k:<14} {m[0]:>6} files  executable {m[1]:>9} -> {m[2]:>9} ({100.0 * (m[2] - m[1]) / max(m[1], 1):+.1f} %)"
                  f"  comment {m[3]:>8} -> {m[4]:>8} ({100.0 * (m[4] - m[3]) / max(m[3], 1):+.1f} %)")
        old_exe = sum(m[1] for m in moves.values())
        new_exe = sum(m[2] for m in moves.values())
        print(f"  all kinds: executable {old_exe} -> {new_exe} ({100.0 * (new_exe - old_exe) / max(old_exe, 1):+.2f} %)")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"trees": rows, "sourceBytes": total_src, "coveredBytes": total_cov,
                       "coverage": round(share, 2)}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
