#!/usr/bin/env python3
"""Synthetic source trees and big single files for the benchmarks in bench/.

  gen_tree.py tree --out DIR [--files N] [--depth D] [--fanout F] [--seed S]
                   [--size-median BYTES] [--size-sigma S] [--size-max BYTES]
                   [--mix common|all|EXT:WEIGHT,...] [--settings Tarvik.ini]
                   [--crlf-fraction P] [--sjis-fraction P] [--other-fraction P]
                   [--long-line-fraction P] [--long-line-bytes BYTES]
  gen_tree.py bigfile --out FILE --bytes N --kind lines|longplain|longtokens [--seed S]

A tree has F directories below the root, F below each of those, down to depth D; the files are
dealt round-robin over the root and all those directories. File sizes follow a log-normal
distribution (median, sigma, clamped). Each file's content is source text in the comment syntax of
its extension's engine in Tarvik.ini: line comments, block comments, trailing comments, strings that
contain comment tokens, blank lines, Japanese comments. Optional: CR LF line ends, Shift_JIS (CP932)
encoding, files of unregistered types (which the directory search skips), one very long line.
Everything is derived from the seed, so the same arguments give the same bytes.

A big file is `lines` (ordinary C source), `longplain` (one line of code without quotes or comment
tokens) or `longtokens` (one line full of string literals and block comments, all different).
"""

import argparse
import math
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_INI = os.path.join(os.path.dirname(HERE), "data", "Tarvik.ini")

# Extension weights of an ordinary mixed code base; every extension is a shipped file type.
COMMON_MIX = {
    "c": 14, "h": 14, "cpp": 10, "hpp": 4, "cc": 2, "java": 8, "js": 8, "ts": 6, "tsx": 2, "go": 4,
    "rs": 3, "cs": 3, "kt": 1, "swift": 1, "php": 2, "py": 9, "sh": 3, "yml": 2, "yaml": 1,
    "toml": 1, "cmake": 1, "rb": 2, "pl": 1, "ps1": 1, "sql": 2, "lua": 1, "hs": 1, "vb": 1,
    "bas": 1, "pas": 1, "f90": 1, "cbl": 1, "lisp": 1, "el": 1, "html": 2, "xml": 2, "svg": 1,
    "css": 2, "scss": 1,
}

# Names of types the shipped settings do not know (the directory search does not take them).
OTHER_EXTENSIONS = ["txt", "md", "json", "png", "o", "lock", "cfg"]

WORDS = ("alpha beta gamma delta parser buffer count total index value result entry record line "
         "token cache stream reader writer config table report module option filter state node "
         "item list map queue stack frame window grid path file name size limit offset").split()
JAPANESE = ["行数を数える", "ここで初期化する", "注意：この値は変更しないこと", "一時的な処理",
            "集計結果を返す", "エラー時は終了", "設定ファイルを読む", "全角　空白を含む行"]


def read_settings(path):
    """extension -> engine name, engine -> (line, block start, block end)."""
    section, engines, patterns = None, {}, {}
    with open(path, encoding="utf-8-sig") as f:
        for raw in f:
            line = raw.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1]
                continue
            if "=" not in line:
                continue
            key, value = line.split("=", 1)
            if section == "Engin" and key.startswith("Lang_"):
                engines[key[5:]] = value.split(",")[0]
            elif section == "Anryze_Pat":
                parts = (value.split(",") + ["", "", ""])[:3]
                patterns[key] = tuple(parts)
    return engines, patterns


# ---------------------------------------------------------------------------------------------
# Content: per engine, a pool of chunks (a few lines each) drawn at random.

def word(r):
    return r.choice(WORDS)


def ident(r):
    return word(r) + ("_" + word(r) if r.random() < 0.5 else "") + (str(r.randrange(10)) if r.random() < 0.3 else "")


def comment_text(r):
    if r.random() < 0.15:
        return r.choice(JAPANESE)
    return " ".join(word(r) for _ in range(r.randrange(2, 9)))


def c_style_chunk(r, lc, bs, be):
    """C, C++, Java, JS, Go, Rust, ... (also SQL and CSS with their own statements)."""
    out = []
    kind = r.random()
    if kind < 0.15 and bs:
        out.append(bs + "*")
        for _ in range(r.randrange(1, 6)):
            out.append(" * " + comment_text(r))
        out.append(" " + be)
    elif kind < 0.25 and lc:
        for _ in range(r.randrange(1, 4)):
            out.append(lc + " " + comment_text(r))
    name = ident(r)
    out.append(f"static int {name}(const char *{ident(r)}, int {ident(r)})")
    out.append("{")
    for _ in range(r.randrange(2, 14)):
        k = r.random()
        a, b = ident(r), ident(r)
        if k < 0.30:
            out.append(f"    int {a} = {b} + {r.randrange(1000)};")
        elif k < 0.40:
            out.append(f"    if ({a} > {b}) {{")
            out.append(f"        {a} = {b}(\"{word(r)}\", {r.randrange(99)});")
            out.append("    }")
        elif k < 0.50 and lc:
            out.append(f"    {a} += {b}; {lc} {comment_text(r)}")
        elif k < 0.58:
            out.append(f"    puts(\"http://example.org/{word(r)} {lc or '#'} not a comment\");")
        elif k < 0.64 and bs:
            out.append(f"    {a} = \"{bs} {word(r)} {be}\"; {bs} {comment_text(r)} {be}")
        elif k < 0.70 and bs:
            out.append(f"    {bs} {comment_text(r)} {be} {a}--;")
        elif k < 0.76:
            out.append(f"    char {a} = '\"'; char {b} = '\\'';")
        elif k < 0.82:
            out.append("")
        elif k < 0.88:
            out.append(f"    for (int i = 0; i < {r.randrange(64)}; ++i) {{ {a}[i] = {b}(i); }}")
        elif k < 0.92:
            out.append(f"    return {a} * {b};")
        elif k < 0.96:
            out.append("    ;")
        else:
            out.append(f"\t{a}({b}, \"{comment_text(r)}\");")
    out.append("}")
    out.append("")
    return out


def sql_chunk(r, lc, bs, be):
    out = []
    if r.random() < 0.3:
        out.append(f"{lc} {comment_text(r)}")
    if r.random() < 0.15:
        out += [bs, f"   {comment_text(r)}", be]
    t = ident(r)
    out.append(f"SELECT {ident(r)}, {ident(r)}, 'it''s -- {word(r)}' AS note")
    out.append(f"  FROM {t}  {lc} {comment_text(r)}")
    out.append(f" WHERE {ident(r)} = {r.randrange(1000)} {bs} inline {be};")
    out.append(f"INSERT INTO {t} VALUES ({r.randrange(10)}, '/* {word(r)} */');")
    out.append("")
    return out


def css_chunk(r, lc, bs, be):
    out = []
    if r.random() < 0.4:
        out.append(f"{bs} {comment_text(r)} {be}")
    out.append(f".{ident(r)} > .{ident(r)} {{")
    for _ in range(r.randrange(1, 7)):
        out.append(f"  {r.choice(['color', 'margin', 'padding', 'width'])}: {r.randrange(100)}px;")
    if r.random() < 0.2:
        out.append(f"  content: \"{bs} not a comment {be}\";")
    out.append("}")
    out.append("")
    return out


def hash_chunk(r, lc, bs, be):
    """Python, shell, YAML, TOML, CMake, R, Tcl; Ruby, Perl and PowerShell add their blocks."""
    out = []
    if r.random() < 0.3:
        for _ in range(r.randrange(1, 4)):
            out.append(f"{lc} {comment_text(r)}")
    if bs and r.random() < 0.15:
        out.append(bs)
        for _ in range(r.randrange(1, 5)):
            out.append(comment_text(r))
        out.append(be)
    out.append(f"def {ident(r)}({ident(r)}, {ident(r)}):")
    if r.random() < 0.3:
        out.append(f'    """{comment_text(r)}."""')
    for _ in range(r.randrange(2, 12)):
        k = r.random()
        a, b = ident(r), ident(r)
        if k < 0.35:
            out.append(f"    {a} = {b} + {r.randrange(100)}")
        elif k < 0.45:
            out.append(f"    {a} = \"colour {lc}{r.randrange(0xffffff):06x}\"  {lc} {comment_text(r)}")
        elif k < 0.55:
            out.append(f"    if {a}:")
            out.append(f"        return '{word(r)}'")
        elif k < 0.62:
            out.append("")
        elif k < 0.70:
            out.append(f"    {lc} {comment_text(r)}")
        else:
            out.append(f"    {a}.append({b}[{r.randrange(9)}])")
    out.append("")
    return out


def generic_chunk(r, lc, bs, be, quote='"'):
    """Lua, Haskell, VB, Pascal, Fortran, COBOL, Lisp: statements, line and block comments."""
    out = []
    if lc and r.random() < 0.35:
        for _ in range(r.randrange(1, 4)):
            out.append(f"{lc} {comment_text(r)}")
    if bs and r.random() < 0.2:
        out.append(f"{bs} {comment_text(r)}")
        for _ in range(r.randrange(0, 4)):
            out.append(f"   {comment_text(r)}")
        out.append(f"   {be}")
    for _ in range(r.randrange(3, 14)):
        k = r.random()
        a, b = ident(r), ident(r)
        if k < 0.4:
            out.append(f"  {a} = {b} + {r.randrange(100)}")
        elif k < 0.55:
            out.append(f"  {a} = {quote}{word(r)} {lc or ''} {word(r)}{quote}")
        elif k < 0.65 and lc:
            out.append(f"  {a} = {b}  {lc} {comment_text(r)}")
        elif k < 0.72 and bs:
            out.append(f"  {bs} {comment_text(r)} {be} {a} = 1")
        elif k < 0.80:
            out.append("")
        else:
            out.append(f"  call {a}({b}, {r.randrange(9)})")
    out.append("")
    return out


def markup_chunk(r, lc, bs, be):
    out = []
    if r.random() < 0.3:
        out.append(f"{bs} {comment_text(r)} {be}")
    if r.random() < 0.1:
        out += [bs, f"  {comment_text(r)}", be]
    tag = r.choice(["div", "p", "section", "item", "entry"])
    out.append(f'<{tag} class="{ident(r)}" data-x="{bs}">')
    for _ in range(r.randrange(1, 6)):
        out.append(f"  <span id=\"{ident(r)}\">{comment_text(r)}</span>")
    out.append(f"</{tag}>")
    out.append("")
    return out


def chunk_maker(engine):
    return {
        "C_STYLE": c_style_chunk, "SQL": sql_chunk, "CSS": css_chunk, "MARKUP": markup_chunk,
        "HASH": hash_chunk, "RUBY": hash_chunk, "PERL": hash_chunk, "POWERSHELL": hash_chunk,
        "VB": lambda r, lc, bs, be: generic_chunk(r, lc, bs, be),
        "PASCAL": lambda r, lc, bs, be: generic_chunk(r, lc, bs, be, "'"),
        "FORTRAN": lambda r, lc, bs, be: generic_chunk(r, lc, bs, be, "'"),
    }.get(engine, generic_chunk)


class Pools:
    """A few hundred ready chunks per engine; files are built by drawing from them."""

    def __init__(self, patterns, seed, size=400):
        self.patterns = patterns
        self.seed = seed
        self.size = size
        self.pools = {}

    def get(self, engine):
        if engine not in self.pools:
            r = random.Random(f"{self.seed}:{engine}")
            lc, bs, be = self.patterns.get(engine, ("//", "/*", "*/"))
            make = chunk_maker(engine)
            self.pools[engine] = ["\n".join(make(r, lc, bs, be)) + "\n" for _ in range(self.size)]
        return self.pools[engine]


def file_text(r, pools, engine, size, long_line):
    pool = pools.get(engine)
    lc, bs, be = pools.patterns.get(engine, ("//", "/*", "*/"))
    parts = []
    if bs:
        parts.append(f"{bs} {r.choice(WORDS)}.{r.randrange(99)} - generated {be}\n")
    elif lc:
        parts.append(f"{lc} generated file {r.randrange(10**6)}\n")
    total = sum(len(p) for p in parts)
    while total < size:
        p = pool[r.randrange(len(pool))]
        parts.append(p)
        total += len(p)
    if long_line:
        at = r.randrange(len(parts) + 1)
        parts.insert(at, long_plain_line(r, long_line) + "\n")
    return "".join(parts)


def long_plain_line(r, size):
    """Code without quotes or comment tokens of any shipped engine (no / * # - ' \" ; ! < { |)."""
    unit = "".join(f"v{r.randrange(100)}=v{r.randrange(100)}+{r.randrange(1000)}, " for _ in range(64))
    return (unit * (size // len(unit) + 1))[:size]


def long_token_line(r, size, first=0):
    """String literals and block comments, C syntax, the tokens inside each other too. Every
    literal and comment is numbered, so no two are the same text."""
    pieces = [
        's{n} = "a/*b{n}*/c"; ', '/* c{n} "d" */ ', "x{n} = 'q'; ", '/* e{n} */ y = "// f{n}"; ',
        '"g{n}" "h" ', "/*{n}*/ ", "/* 'i{n}' */ ", 'u = "*/{n}"; ',
    ]
    out, length, n = [], 0, first
    while length < size:
        piece = r.choice(pieces).format(n=n)
        out.append(piece)
        length += len(piece)
        n += 1
    return "".join(out)[:size], n


# ---------------------------------------------------------------------------------------------

def lognormal_size(r, median, sigma, lo, hi):
    return int(min(hi, max(lo, median * math.exp(r.gauss(0.0, sigma)))))


def parse_mix(text, engines):
    if text == "common":
        mix = COMMON_MIX
    elif text == "all":
        mix = {e: 1 for e in engines}
    else:
        mix = {}
        for item in text.split(","):
            ext, _, weight = item.partition(":")
            mix[ext.strip()] = float(weight or 1)
    unknown = [e for e in mix if e not in engines]
    if unknown:
        sys.exit(f"gen_tree.py: not a registered file type in the settings: {', '.join(unknown)}")
    return list(mix), [mix[e] for e in mix]


def directories(root, depth, fanout):
    dirs = [root]
    level = [root]
    for d in range(depth):
        nxt = []
        for parent in level:
            for i in range(fanout):
                nxt.append(os.path.join(parent, f"{WORDS[(i + d) % len(WORDS)]}{i:02d}"))
        dirs += nxt
        level = nxt
    return dirs


def make_tree(a):
    engines, patterns = read_settings(a.settings)
    exts, weights = parse_mix(a.mix, engines)
    r = random.Random(a.seed)
    pools = Pools(patterns, a.seed)
    dirs = directories(os.path.abspath(a.out), a.depth, a.fanout)
    for d in dirs:
        os.makedirs(d, exist_ok=True)
    total_bytes = 0
    long_files = 0
    per_ext = {}
    for i in range(a.files):
        d = dirs[i % len(dirs)]
        if r.random() < a.other_fraction:
            ext = r.choice(OTHER_EXTENSIONS)
            data = ("plain text " * r.randrange(1, 200) + "\n").encode()
        else:
            ext = r.choices(exts, weights)[0]
            size = lognormal_size(r, a.size_median, a.size_sigma, 32, a.size_max)
            long_line = a.long_line_bytes if r.random() < a.long_line_fraction else 0
            long_files += bool(long_line)
            text = file_text(r, pools, engines[ext], size, long_line)
            if r.random() < a.crlf_fraction:
                text = text.replace("\n", "\r\n")
            if r.random() < a.sjis_fraction:
                data = text.encode("cp932", errors="replace")
            else:
                data = text.encode("utf-8")
        per_ext[ext] = per_ext.get(ext, 0) + 1
        name = f"{WORDS[i % len(WORDS)]}_{i:06d}.{ext}"
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)
        total_bytes += len(data)
    print(f"tree {os.path.abspath(a.out)}: {a.files} files, {len(dirs)} directories, "
          f"{total_bytes / 1048576:.1f} MiB, {long_files} with a long line, "
          f"{len(per_ext)} extensions (seed {a.seed})")


def make_bigfile(a):
    r = random.Random(a.seed)
    with open(a.out, "wb") as f:
        if a.kind == "lines":
            _, patterns = read_settings(a.settings)
            pools = Pools(patterns, a.seed)
            pool = pools.get("C_STYLE")
            written = 0
            while written < a.bytes:
                block = "".join(pool[r.randrange(len(pool))] for _ in range(256)).encode()
                block = block[: a.bytes - written]
                f.write(block)
                written += len(block)
        elif a.kind == "longplain":
            unit = long_plain_line(r, 1 << 20).encode()
            left = a.bytes - 1
            while left > 0:
                f.write(unit[: min(len(unit), left)])
                left -= min(len(unit), left)
            f.write(b"\n")
        else:
            left, n = a.bytes - 1, 0
            while left > 0:
                piece, n = long_token_line(r, min(1 << 20, left), n)
                f.write(piece.encode())
                left -= len(piece)
            f.write(b"\n")
    print(f"file {a.out}: {a.bytes} bytes, {a.kind}")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="command", required=True)
    t = sub.add_parser("tree", help="a directory tree of source files")
    t.add_argument("--out", required=True)
    t.add_argument("--files", type=int, default=100000)
    t.add_argument("--depth", type=int, default=3)
    t.add_argument("--fanout", type=int, default=10)
    t.add_argument("--seed", type=int, default=1)
    t.add_argument("--size-median", type=int, default=2000, help="median file size in bytes")
    t.add_argument("--size-sigma", type=float, default=1.0, help="sigma of the log-normal sizes")
    t.add_argument("--size-max", type=int, default=1 << 20)
    t.add_argument("--mix", default="common", help="common, all, or EXT:WEIGHT,...")
    t.add_argument("--settings", default=DEFAULT_INI)
    t.add_argument("--crlf-fraction", type=float, default=0.05)
    t.add_argument("--sjis-fraction", type=float, default=0.02)
    t.add_argument("--other-fraction", type=float, default=0.0)
    t.add_argument("--long-line-fraction", type=float, default=0.0)
    t.add_argument("--long-line-bytes", type=int, default=100000)
    b = sub.add_parser("bigfile", help="one big file")
    b.add_argument("--out", required=True)
    b.add_argument("--bytes", type=int, required=True)
    b.add_argument("--kind", choices=["lines", "longplain", "longtokens"], default="lines")
    b.add_argument("--seed", type=int, default=1)
    b.add_argument("--settings", default=DEFAULT_INI)
    a = p.parse_args()
    if a.command == "tree":
        make_tree(a)
    else:
        make_bigfile(a)


if __name__ == "__main__":
    main()
