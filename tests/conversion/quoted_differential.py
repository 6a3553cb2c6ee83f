#!/usr/bin/env python3
"""Quote-aware conversion against Python's csv module.

Random inputs (quoted fields holding delimiters, doubled quotes and line
breaks, text after closing quotes, quotes inside plain fields, empty lines,
every line end and every mark) go through the engine in both quote-aware
modes; reading the TSV back must give exactly the rows csv.reader reads from
the input.

Usage: quoted_differential.py PATH/TO/convert_driver [SEED]
"""

import csv
import io
import os
import random
import subprocess
import sys
import tempfile

SKIP = 77

MARKS = {
    "none": (b"", "utf-8"),
    "utf-8": (b"\xef\xbb\xbf", "utf-8"),
    "utf-16le": (b"\xff\xfe", "utf-16-le"),
    "utf-16be": (b"\xfe\xff", "utf-16-be"),
    "utf-32le": (b"\xff\xfe\x00\x00", "utf-32-le"),
    "utf-32be": (b"\x00\x00\xfe\xff", "utf-32-be"),
}
DELIMITERS = [",", ";", "\t", "|"]
LINE_ENDS = ["\r\n", "\n", "\r"]
PLAIN = ["a", "b", "xyz", " ", "1.5", "\u00e9", "\u20ac", "\U0001F600", "\\", "-"]


def plain_text(rng, delimiter):
    text = "".join(rng.choice(PLAIN) for _ in range(rng.randint(0, 4)))
    if rng.random() < 0.15 and delimiter != "\t":
        text += "\t"  # ordinary in the input, quoted or escaped in the output
    if rng.random() < 0.15 and text:
        text += '"' + rng.choice(PLAIN)  # a quote inside a plain field
    return text


def quoted_field(rng, delimiter):
    parts = []
    for _ in range(rng.randint(0, 5)):
        parts.append(rng.choice(PLAIN + [delimiter, '""', "\r\n", "\n", "\r", "\t", delimiter * 2]))
    field = '"' + "".join(parts) + '"'
    if rng.random() < 0.1:
        field += rng.choice(["x", " y", "\\"])  # text after the closing quote
    return field


def random_text(rng, delimiter):
    records = []
    for _ in range(rng.randint(0, 12)):
        roll = rng.random()
        if roll < 0.08:
            records.append("")  # an empty line
        elif roll < 0.12:
            records.append('""')  # one empty quoted field
        else:
            fields = []
            for _ in range(rng.randint(1, 5)):
                if rng.random() < 0.4:
                    fields.append(quoted_field(rng, delimiter))
                else:
                    text = plain_text(rng, delimiter)
                    fields.append(text.lstrip('"'))
            records.append(delimiter.join(fields))
    text = ""
    for i, record in enumerate(records):
        text += record
        if i + 1 < len(records) or rng.random() < 0.7:
            text += rng.choice(LINE_ENDS)
    return text


def read_csv(text, delimiter):
    return list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))


def decode_output(data):
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8")
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    return data.decode("utf-8")


def unescape(field):
    out, i = [], 0
    while i < len(field):
        if field[i] == "\\" and i + 1 < len(field):
            out.append({"t": "\t", "n": "\n", "r": "\r", "\\": "\\"}[field[i + 1]])
            i += 2
        else:
            out.append(field[i])
            i += 1
    return "".join(out)


def read_escaped(text):
    assert text == "" or text.endswith("\r\n"), repr(text[-10:])
    lines = text.split("\r\n")[:-1]
    return [[unescape(f) for f in line.split("\t")] for line in lines]


def main():
    if sys.platform == "win32":
        return SKIP
    driver = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 4180
    rng = random.Random(seed)
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for mode in ["quoted", "escaped"]:
            for delimiter in DELIMITERS:
                block = rng.choice([16, 64, 4096, 1 << 20])
                cases = []
                for n in range(40):
                    text = random_text(rng, delimiter)
                    mark = rng.choice(list(MARKS))
                    prefix, codec = MARKS[mark]
                    source = os.path.join(folder, f"{mode}{n}.csv")
                    target = os.path.join(folder, f"{mode}{n}.tsv")
                    with open(source, "wb") as f:
                        f.write(prefix + text.encode(codec))
                    cases.append((text, mark, source, target))
                args = [driver, mode, delimiter, str(block)]
                for _, _, source, target in cases:
                    args += [source, target]
                result = subprocess.run(args, capture_output=True, text=True, check=True)
                if result.stdout:
                    print(result.stdout, end="")
                    failures += 1
                for text, mark, source, target in cases:
                    expected = read_csv(text, delimiter)
                    with open(target, "rb") as f:
                        output = decode_output(f.read())
                    if mode == "quoted":
                        actual = read_csv(output, "\t")
                    else:
                        # Without quotes an empty line and one empty field
                        # look alike.
                        actual = read_escaped(output)
                        expected = [row if row != [""] else [] for row in expected]
                        actual = [row if row != [""] else [] for row in actual]
                    if actual != expected:
                        failures += 1
                        print(f"{mode} delimiter {delimiter!r} block {block} mark {mark}")
                        print(f"  input    {text!r}\n  output   {output!r}")
                        print(f"  expected {expected!r}\n  actual   {actual!r}")
    print(f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
