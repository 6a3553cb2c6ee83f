#!/usr/bin/env python3
"""Every path and name docs/ARCHITECTURE.md gives in backquotes exists.

    house_plan_test.py REPOSITORY

A path (a/b, a/*.h) must name at least one file or folder of the repository
or of src/; a file name alone (block_loop.h) one file somewhere in it or one
the build files generate; a name of code (StepRunner, kErrFileNotFound,
engine_tests, delvora_add_core_test) must occur in the sources, tests,
scripts or build files. Commands, options and
quoted texts (anything with a space, a leading "-" or quotes) are left alone,
as are placeholders (<service>) and the names of other programs' parts
listed in ELSEWHERE.
"""
import os
import re
import sys
from pathlib import Path

ELSEWHERE = {
    # The standard library, the system and Qt, named for contrast.
    "std::filesystem", "GetFullPathNameW", "GetFileInformationByHandle", "O_TMPFILE",
    "QT_QPA_PLATFORM", "QTest", "FindFirstFileExW",
    # Names of naming styles.
    "PascalCase", "snake_case", "snake_case_",
}
CODE = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*(::[A-Za-z_][A-Za-z0-9_]*)*(\(\))?$")
FILE = re.compile(r"^[\w.+-]+\.(h|cpp|ipp|py|sh|cmake|txt|json|md|in|rc|manifest|ico)$")
SEARCHED = {".h", ".cpp", ".ipp", ".py", ".sh", ".cmake", ".txt", ".json", ".in", ""}


def main(argv):
    top = Path(argv[0])
    plan = (top / "docs/ARCHITECTURE.md").read_text(encoding="utf-8")
    files = []
    for folder, subfolders, entries in os.walk(top):
        if Path(folder) == top:
            subfolders[:] = [s for s in subfolders if s not in ("build", ".git")]
        files += [Path(folder) / e for e in entries]
    names = {p.name for p in files}
    corpus = "\n".join(p.read_text(encoding="utf-8", errors="replace") for p in files
                       if p.suffix in SEARCHED and p.stat().st_size < 1_000_000
                       and p.name != "ARCHITECTURE.md")
    generated = "\n".join(p.read_text(encoding="utf-8", errors="replace") for p in files
                          if p.suffix == ".cmake" or p.name == "CMakeLists.txt")
    faults = []
    checked = 0
    for token in sorted(set(re.findall(r"`([^`\n]+)`", plan))):
        if any(c in token for c in " <>\"'…") or token.startswith("-") or token in ELSEWHERE:
            continue
        checked += 1
        if "/" in token:
            # From the top, or from src/ as the includes name them.
            pattern = token.rstrip("/")
            # The build makes what lies under build/: the scripts and
            # presets that make it must name it.
            if pattern.startswith("build/"):
                if pattern not in corpus and pattern not in generated:
                    faults.append(f"no script makes {token}")
                continue
            if not any(True for base in (top, top / "src") for _ in base.glob(pattern)):
                faults.append(f"no path {token}")
        elif FILE.match(token):
            # A generated file counts when the build files make it.
            if token not in names and token not in generated:
                faults.append(f"no file named {token}")
        elif CODE.match(token):
            bare = token.removesuffix("()").split("::")[-1]
            if not re.search(rf"\b{re.escape(bare)}\b", corpus):
                faults.append(f"no code named {token}")
        else:
            checked -= 1
    for fault in faults:
        print(f"docs/ARCHITECTURE.md: {fault}")
    print(f"house plan: {checked} paths and names checked, {len(faults)} missing")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
