#!/usr/bin/env python3
"""delvora-convert --check against a small model of its report, written from
the README and the manual page: random files of every delimiter kind, quotes,
line ends, tabs, ragged rows and encodings (marked or not, malformed too), in
every mode, each report field compared.

    check_model.py DELVORA_CONVERT [FILES [SEED]]
"""

import json
import os
import random
import subprocess
import sys
import tempfile

# ---- Reading: marks and units ----

MARKS = [  # tested in this order, each only when the file is long enough
    (b"\xff\xfe\x00\x00", "UTF-32LE"),
    (b"\x00\x00\xfe\xff", "UTF-32BE"),
    (b"\xef\xbb\xbf", "UTF-8"),
    (b"\xff\xfe", "UTF-16LE"),
    (b"\xfe\xff", "UTF-16BE"),
]


def mark_of(data):
    for mark, name in MARKS:
        if data.startswith(mark):
            return name, len(mark)
    return "none", 0


def units_of(data):
    """The text units the rules read, and the malformed places (offsets)."""
    name, length = mark_of(data)
    body = data[length:]
    if name in ("none", "UTF-8"):
        return name, list(body), []
    width = 4 if name.startswith("UTF-32") else 2
    order = "little" if name.endswith("LE") else "big"
    units, bad = [], []
    whole = len(body) - len(body) % width
    high_at = None
    for i in range(0, whole, width):
        value = int.from_bytes(body[i:i + width], order)
        at = length + i
        if width == 4:
            if 0xD800 <= value <= 0xDFFF or value > 0x10FFFF:
                bad.append(at)
                units.append(0xFFFD)
            elif value > 0xFFFF:
                value -= 0x10000
                units += [0xD800 + (value >> 10), 0xDC00 + (value & 0x3FF)]
            else:
                units.append(value)
            continue
        low = 0xDC00 <= value <= 0xDFFF
        if high_at is not None and not low:
            bad.append(high_at)
        if high_at is None and low:
            bad.append(at)
        high_at = at if 0xD800 <= value <= 0xDBFF else None
        units.append(value)
    if high_at is not None:
        bad.append(high_at)
    if whole < len(body):
        bad.append(length + whole)
        units.append(0xFFFD)
    return name, units, bad


def delimiter_units(delimiter, name):
    if name in ("none", "UTF-8"):
        return list(delimiter.encode())
    text = delimiter.encode("utf-16-le")
    return [int.from_bytes(text[i:i + 2], "little") for i in range(0, len(text), 2)]


CR, LF, TAB, QUOTE = 13, 10, 9, 34


def line_end_at(u, i):
    """Length of the line end at i (2 for CR LF), or 0."""
    if u[i] == CR:
        return 2 if i + 1 < len(u) and u[i + 1] == LF else 1
    return 1 if u[i] == LF else 0


# ---- The textual reading ----

def textual(u, d):
    matches = bool(d) and CR not in d and LF not in d
    r = {"crlf": 0, "lf": 0, "cr": 0, "lines": [], "tab_lines": [], "delimiters": 0}
    fields, tab, i, line = 1, False, 0, 1
    open_line = False
    while i < len(u):
        n = line_end_at(u, i)
        if n:
            r["crlf" if n == 2 else "lf" if u[i] == LF else "cr"] += 1
            r["lines"].append(fields)
            if tab:
                r["tab_lines"].append(line)
            fields, tab, open_line = 1, False, False
            line += 1
            i += n
            continue
        open_line = True
        if matches and u[i:i + len(d)] == d:
            fields += 1
            r["delimiters"] += 1
            i += len(d)
            continue
        if u[i] == TAB:
            tab = True
        i += 1
    if open_line or not r["lines"]:
        r["lines"].append(fields)
        if tab:
            r["tab_lines"].append(line)
    return r


CANDIDATES = [("comma-space", ", "), ("comma", ","), ("semicolon", ";"), ("tab", "\t")]


def likely(u, d_text, lines):
    """A standard delimiter found equally often on every line."""
    pieces, start, i = [], 0, 0
    while i < len(u):
        n = line_end_at(u, i)
        if n:
            pieces.append(u[start:i])
            i += n
            start = i
        else:
            i += 1
    if start < len(u):
        pieces.append(u[start:])
    for name, text in CANDIDATES:
        if text == d_text:
            continue
        c = [ord(ch) for ch in text]
        counts = []
        for p in pieces:
            k, j = 0, 0
            while j + len(c) <= len(p):
                if p[j:j + len(c)] == c:
                    k += 1
                    j += len(c)
                else:
                    j += 1
            counts.append(k)
        if counts and counts[0] > 0 and all(k == counts[0] for k in counts):
            return name
    return None


# ---- The quote-aware reading (RFC 4180, any delimiter) ----

def quoted(u, d):
    matches = bool(d) and CR not in d and LF not in d
    r = {"records": [], "quoted_delimiters": 0, "quoted_line_breaks": 0, "unclosed": None,
         "tab_lines": set()}
    i, line, record_line, fields, in_record = 0, 1, 1, 1, False
    n = len(u)
    while True:
        if i >= n:
            if in_record:
                r["records"].append((fields, record_line))
            return r
        # A field from i.
        in_record = True
        holds_delimiter = False
        if u[i] == QUOTE:
            j = i + 1
            quote_line = line
            closed = False
            while j < n:
                if u[j] == QUOTE:
                    if j + 1 < n and u[j + 1] == QUOTE:
                        j += 2
                        continue
                    closed = True
                    j += 1
                    break
                k = line_end_at(u, j)
                if k:
                    r["quoted_line_breaks"] += 1
                    line += 1
                    j += k
                    continue
                if u[j] == TAB:
                    r["tab_lines"].add(line)
                if matches and u[j:j + len(d)] == d:
                    holds_delimiter = True
                j += 1
            if not closed:
                r["unclosed"] = quote_line
                r["records"].append((fields, record_line))
                return r
            if holds_delimiter:
                r["quoted_delimiters"] += 1
            i = j
        # Unquoted text (the field, or what follows its closing quote).
        while i < n and not line_end_at(u, i) and not (matches and u[i:i + len(d)] == d):
            if u[i] == TAB:
                r["tab_lines"].add(line)
            i += 1
        if i >= n:
            continue
        k = line_end_at(u, i)
        if k:
            r["records"].append((fields, record_line))
            line += 1
            i += k
            record_line, fields, in_record = line, 1, False
        else:
            fields += 1
            i += len(d)


# ---- Text of files without a mark ----

def narrow_text(data):
    sample = data[:4096]
    pairs = len(sample) // 2
    zeros = [sum(1 for k in range(p, 2 * pairs, 2) if sample[k] == 0) for p in (0, 1)]
    if pairs >= 2:
        if zeros[1] * 2 >= pairs and zeros[0] * 8 <= zeros[1]:
            return "utf-16le-no-mark"
        if zeros[0] * 2 >= pairs and zeros[1] * 8 <= zeros[0]:
            return "utf-16be-no-mark"
    if all(b < 128 for b in data):
        return "ascii"
    try:
        data.decode("utf-8")
        return "utf-8"
    except UnicodeDecodeError:
        return "8-bit"


# ---- Field counts and the verdict ----

def tally(counts):
    """(common, differing, first five differing lines) of (count, line) pairs."""
    if not counts:
        return 0, 0, []
    order, seen = [], {}
    for c, _ in counts:
        if c not in seen:
            seen[c] = 0
            order.append(c)
        seen[c] += 1
    common = max(order, key=lambda c: (seen[c], -order.index(c)))
    lines = sorted(l for c, l in counts if c != common)
    return common, len(lines), lines[:5]


def model(data, delimiter, mode, strict):
    name, u, bad = units_of(data)
    d = delimiter_units(delimiter, name)
    t = textual(u, d)
    q = quoted(u, d)
    lines = t["lines"]
    records = [c for c, _ in q["records"]]
    quoted_tabs = sorted(q["tab_lines"])
    if TAB not in d:
        quoted_tabs = t["tab_lines"]  # every tab is data in both readings
    tabs = t["tab_lines"] if mode == "plain" else quoted_tabs
    chosen = [(c, i + 1) for i, c in enumerate(lines)] if mode == "plain" else q["records"]
    common, differing, differs_at = tally(chosen)
    text = narrow_text(data) if name == "none" else "marked"
    report = {
        "mark": name, "text": text,
        "line_ends": (lambda k: "none" if not k else "mixed" if len(k) > 1 else k[0])(
            [e for e, c in (("CRLF", t["crlf"]), ("LF", t["lf"]), ("CR", t["cr"])) if c]),
        "crlf": t["crlf"], "lf": t["lf"], "cr": t["cr"],
        "records": len(records), "min_fields": min(records, default=0),
        "max_fields": max(records, default=0),
        "textual_records": len(lines), "textual_min_fields": min(lines),
        "textual_max_fields": max(lines),
        "quoted_delimiters": q["quoted_delimiters"],
        "quoted_line_breaks": q["quoted_line_breaks"], "unclosed_quote_line": q["unclosed"],
        "textual_differs_at": [i + 1 for i, c in enumerate(lines) if c != lines[0]][:5],
        "tab_lines": len(tabs), "first_tab_line": tabs[0] if tabs else None,
        "delimiters": t["delimiters"],
        "likely_delimiter": likely(u, delimiter, lines)
        if t["delimiters"] == 0 and len(lines) > 1 else None,
        "common_fields": common, "differing_lines": differing, "differs_at": differs_at,
        "malformed": len(bad), "first_malformed": bad[0] if bad else None,
    }
    # The verdict, by the README's rules for each mode.
    looks_utf16 = text.endswith("-no-mark")

    def misread(m):
        if m == "escape":
            return False
        qt = t["tab_lines"] if m == "plain" else quoted_tabs
        return bool(q["quoted_line_breaks"] or qt or
                    (m == "plain" and (q["quoted_delimiters"] or quoted_tabs)))

    if bad:
        head = "malformed text"
    elif q["unclosed"]:
        head = "unclosed quote"
    elif looks_utf16:
        head = "not text of one byte a character"
    elif misread(mode):
        head = "needs --quotes" if mode == "plain" and not misread("quotes") else "needs --escape"
    elif strict and differing:
        head = "field counts differ"
    else:
        head = "safe"
    report["head"] = head
    report["safe"] = head == "safe"
    return report


# ---- Random files ----

DELIMITERS = [",", ";", "\t", ", ", "::", "\t\t", "\t,", "|"]
MODES = [("plain", []), ("quotes", ["--quotes"]), ("escape", ["--escape"])]


def random_text(rng, delimiter):
    pieces = [delimiter, delimiter, "\"", "\"\"", "\r\n", "\n", "\r", "\t", "a", "bc", " ",
              ",", ";", ", ", "\u00e9", "\u20ac", "\U0001F600", "x" * rng.randrange(1, 40)]
    rows = []
    for _ in range(rng.randrange(0, 12)):
        cells = []
        for _ in range(rng.randrange(1, 5)):
            cell = "".join(rng.choice(pieces) for _ in range(rng.randrange(0, 4)))
            if rng.random() < 0.3:
                cell = "\"" + cell.replace("\"", "\"\"") + "\""
            cells.append(cell)
        rows.append(delimiter.join(cells))
    return rng.choice(["\r\n", "\n", "\r"]).join(rows) + rng.choice(["", "\n", "\r\n", "\r"])


def random_file(rng, delimiter):
    text = random_text(rng, delimiter)
    kind = rng.randrange(9)
    if kind <= 2:
        data = text.encode()
    elif kind == 3:
        data = b"\xef\xbb\xbf" + text.encode()
    elif kind == 4:
        data = text.encode("utf-16-le")  # no mark
    elif kind == 5:
        data = b"\xff\xfe" + text.encode("utf-16-le")
    elif kind == 6:
        data = b"\xfe\xff" + text.encode("utf-16-be")
    elif kind == 7:
        data = b"\xff\xfe\x00\x00" + text.encode("utf-32-le")
    else:
        data = b"\x00\x00\xfe\xff" + text.encode("utf-32-be")
    if rng.random() < 0.1:  # malformed, or bytes of another code page
        at = rng.randrange(len(data) + 1)
        data = data[:at] + rng.choice(
            [b"\x00\xd8", b"\xdc\x00", b"\x00\x00\x11\x00", b"\x00", b"\xe9", b"\x00\xd8\x00\x00"]) \
            + data[at:]
    return data


def main():
    exe = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 24
    rng = random.Random(seed)
    reports = failures = 0
    seen = {}  # what the compared reports held, to show the corpus reached each case
    with tempfile.TemporaryDirectory(prefix="delvora-check-model-") as folder:
        for d_index, delimiter in enumerate(DELIMITERS):
            files = {}
            for k in range(count // len(DELIMITERS)):
                path = os.path.join(folder, "d%d-%05d.csv" % (d_index, k))
                # Some files hold another delimiter than the one checked for.
                written = delimiter if rng.random() < 0.8 else rng.choice(DELIMITERS)
                with open(path, "wb") as f:
                    f.write(random_file(rng, written))
                files[path] = open(path, "rb").read()
            for mode, flags in MODES:
                for strict in (False, True):
                    args = [exe, "--check", "--json", "--other", delimiter] + flags + \
                        (["--strict"] if strict else []) + sorted(files)
                    run = subprocess.run(args, capture_output=True)
                    if run.returncode not in (0, 1) or run.stderr:
                        print("run failed:", run.returncode, run.stderr[:2000])
                        return 1
                    for line in run.stdout.decode("utf-8", "surrogateescape").splitlines():
                        got = json.loads(line)
                        want = model(files[got["file"]], delimiter, mode, strict)
                        reports += 1
                        for key, held in (("verdict " + want["head"], True),
                                          ("tabs", want["tab_lines"] > 0),
                                          ("malformed", want["malformed"] > 0),
                                          ("likely delimiter", want["likely_delimiter"]),
                                          ("quoted line breaks", want["quoted_line_breaks"] > 0)):
                            if held:
                                seen[key] = seen.get(key, 0) + 1
                        # After an unclosed quote the quote-aware counts stop
                        # where the reading did; only its line is promised.
                        skip = {"records", "min_fields", "max_fields", "quoted_delimiters",
                                "quoted_line_breaks"} if want["unclosed_quote_line"] else set()
                        if want["unclosed_quote_line"] and mode != "plain":
                            skip |= {"common_fields", "differing_lines", "differs_at",
                                     "tab_lines", "first_tab_line"}
                        wrong = [k for k in want if k not in skip | {"head"} and got[k] != want[k]]
                        if not got["verdict"].startswith(want["head"]):
                            wrong.append("verdict")
                        if wrong:
                            failures += 1
                            if failures <= 10:
                                print("differs in %s (%s%s, delimiter %r): %s\n  input %r\n  got  %s"
                                      % (", ".join(wrong), mode, " --strict" if strict else "",
                                         delimiter, got["file"], files[got["file"]],
                                         {k: (got.get(k), want.get(k)) for k in wrong}))
    print("%d reports of %d files compared with the model (seed %d), %d differ"
          % (reports, count - count % len(DELIMITERS), seed, failures))
    print(", ".join("%s: %d" % item for item in sorted(seen.items())))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
