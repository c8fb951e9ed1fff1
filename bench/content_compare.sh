#!/bin/bash
# Writes the content test image (every format with its traps, among real
# machine code and erased flash) with its manifest, lists it with
# `kestrix-cli content --json` and with the generic carver foremost (-t all),
# and prints a score table for each against the manifest (markdown).
#   bench/content_compare.sh [BUILD_DIR] [WORK_DIR] [SIZE_MIB]
# foremost is installed when missing (Debian package).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
work=${2:-${TMPDIR:-/tmp}/kestrix-content-compare}
size=${3:-32}

cmake --build "$build" --target kestrix-make-content-image kestrix-cli >/dev/null
command -v foremost >/dev/null || apt-get install -y foremost >/dev/null

mkdir -p "$work"
programs=()
for p in /usr/bin/ls /usr/bin/bash /usr/lib/x86_64-linux-gnu/libc.so.6; do [ -r "$p" ] && programs+=("$p"); done
"$build/bin/kestrix-make-content-image" --size "$size" "$work" "${programs[@]}"
image=$work/content_image.bin

start=$(date +%s.%N)
"$build/bin/kestrix-cli" content "$image" --json >"$work/content.json" || true
end=$(date +%s.%N)
rm -rf "$work/foremost"
foremost -Q -t all -i "$image" -o "$work/foremost" >/dev/null

python3 - "$work" "$start" "$end" <<'PY'
import json, os, sys
from collections import OrderedDict

work, t0, t1 = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
expected, decoys = [], []
with open(os.path.join(work, "content_expected.tsv"), encoding="utf-8") as f:
    next(f)
    for line in f:
        start, end, typ, status, entry, case = line.rstrip("\n").split("\t")
        row = dict(start=int(start), end=int(end), type=typ, status=status, entry=entry, case=case)
        (decoys if status == "decoy" else expected).append(row)

def content_rows():
    rows = []
    with open(os.path.join(work, "content.json"), encoding="utf-8") as f:
        text = f.read()
    for doc in json.loads("[" + ",".join(l for l in text.splitlines() if l.strip()) + "]"):
        for key in ("items", "rows"):
            if isinstance(doc, dict) and key in doc:
                rows += doc[key]
        if isinstance(doc, dict) and "start" in doc:
            rows.append(doc)
    return [dict(start=r["start"], end=r["end"], type=r["type"], status=r.get("status", ""),
                 entry=r.get("entry") or "") for r in rows]

def foremost_rows():
    rows, carved = [], os.path.join(work, "foremost")
    with open(os.path.join(carved, "audit.txt"), encoding="latin-1") as f:
        for line in f:
            parts = [p.strip() for p in line.split("\t")]
            if len(parts) < 4 or not parts[0][:1].isdigit() or not parts[0].endswith(":"):
                continue
            name, offset = parts[1], int(parts[3])
            ext = name.rsplit(".", 1)[-1]
            size = os.path.getsize(os.path.join(carved, ext, name))
            typ = {"jpeg": "jpg", "zip": "jar", "riff": "wav"}.get(ext, ext)
            rows.append(dict(start=offset, end=offset + size, type=typ, status="", entry=""))
    return rows

def score(title, rows, has_status, seconds=None):
    by_start = {}
    for r in rows:
        by_start.setdefault(r["start"], r)
    table = OrderedDict()
    matched, notes = set(), []
    for e in expected:
        s = table.setdefault(e["type"], dict(items=0, exact=0, wrong_end=0, missed=0, wrong_status=0,
                                             cut=0, cut_marked=0, named=0, named_right=0))
        s["items"] += 1
        s["cut"] += e["status"] == "truncated"
        s["named"] += bool(e["entry"])
        r = by_start.get(e["start"])
        if r is None:
            s["missed"] += 1
            notes.append("missed: %s at %d (%s)" % (e["type"], e["start"], e["case"]))
            continue
        matched.add(e["start"])
        if r["end"] == e["end"]:
            s["exact"] += 1
        else:
            s["wrong_end"] += 1
            notes.append("wrong end: %s %d..%d listed ..%d (%s)" % (e["type"], e["start"], e["end"], r["end"], e["case"]))
        if has_status and r["status"] != e["status"]:
            s["wrong_status"] += 1
            notes.append("status %s, expected %s: %s at %d (%s)" % (r["status"], e["status"], e["type"], e["start"], e["case"]))
        s["cut_marked"] += e["status"] == "truncated" and r["status"] == "truncated"
        s["named_right"] += bool(e["entry"]) and r["entry"] == e["entry"]
    decoy_starts = {d["start"] for d in decoys}
    others = [r for r in rows if r["start"] not in matched]
    decoys_listed = [r for r in others if r["start"] in decoy_starts]
    print("### %s: %d rows%s\n" % (title, len(rows), "" if seconds is None else ", %.2f s" % seconds))
    cols = ["items", "exact", "wrong_end", "missed"] + (["wrong_status", "cut", "cut_marked", "named", "named_right"] if has_status else ["cut"])
    print("| type | " + " | ".join(c.replace("_", " ") for c in cols) + " |")
    print("|---" * (len(cols) + 1) + "|")
    total = OrderedDict((c, 0) for c in cols)
    for typ, s in table.items():
        print("| %s | %s |" % (typ, " | ".join(str(s[c]) for c in cols)))
        for c in cols:
            total[c] += s[c]
    print("| **all** | %s |" % " | ".join("**%d**" % v for v in total.values()))
    print("\nDecoys placed: %d, listed: %d. Other rows (not built there): %d.\n"
          % (len(decoys), len(decoys_listed), len(others) - len(decoys_listed)))
    for r in others[:10]:
        notes.append("%s: %s %d..%d %s" % ("decoy listed" if r["start"] in decoy_starts else "not built there",
                                            r["type"], r["start"], r["end"], r["status"]))
    for n in notes[:40]:
        print("- " + n)
    if len(notes) > 40:
        print("- ... %d more" % (len(notes) - 40))
    print()

score("kestrix-cli content", content_rows(), True, t1 - t0)
score("foremost -t all", foremost_rows(), False)
PY
