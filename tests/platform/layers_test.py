#!/usr/bin/env python3
"""The layers hold against every way around them we know of.

    layers_test.py CHECK_LAYERS [CXX LAYERS_DIR]

First scripts/check-layers over small trees, each with one way around the
layers, must name it (and pass a clean tree). Then, given a compiler and the
build's include roots, an upward include of every spelling must fail to
compile with a layer's own include path, while an allowed one compiles.
"""
import subprocess
import sys
import tempfile
from pathlib import Path

CLEAN = {
    "platform/utf8.h": "#pragma once\n#include <string>\n",
    "platform/qt_bridge.h": "#pragma once\n#include <QObject>\n",
    "platform/posix/console.cpp": '#include "platform/utf8.h"\n',
    "platform/win32/console.cpp": '#include "platform/utf8.h"\n',
    "conversion/paths.h": '#pragma once\n#include "platform/utf8.h"\n',
    "cli/options.h": "#pragma once\n",
    "app/window.cpp": '#include "platform/qt_bridge.h"\n#include <cli_like/none.h>\n',
}

# (what goes around the layers, files added to the clean tree, what the
# check must say)
WAYS_AROUND = [
    ("angle brackets", {"conversion/a.cpp": "#include <cli/options.h>\n"}, "conversion may use"),
    ("from an .ipp", {"conversion/a.ipp": '#include "cli/options.h"\n'}, "a.ipp:1"),
    ("a relative climb", {"conversion/a.cpp": '#include "../cli/options.h"\n'}, "without ../"),
    ("a macro", {"conversion/a.cpp": '#define H "cli/options.h"\n#include H\n'}, "not a macro"),
    ("posix to win32", {"platform/posix/a.cpp": '#include "platform/win32/b.h"\n',
                        "platform/win32/b.h": ""}, "platform/win32/ belongs"),
    ("a bare name reaching Qt", {"platform/utf8.cpp": '#include "qt_bridge.h"\n'}, "<QObject>"),
    ("Qt through a header chain", {"conversion/a.h": '#include "platform/chain.h"\n',
                                   "platform/chain.h": "#include <QtCore/QString>\n"},
     "reached from src/conversion/a.h"),
    ("Qt in the other system's service", {"platform/win32/console.cpp": "#include <QString>\n"},
     "win32/console.cpp:1: includes Qt"),
]


def check(script, files):
    with tempfile.TemporaryDirectory() as top:
        src = Path(top)
        for name, text in {**CLEAN, **files}.items():
            (src / name).parent.mkdir(parents=True, exist_ok=True)
            (src / name).write_text(text)
        core = ["--core", str(src), "platform/posix/console.cpp", "platform/utf8.cpp"]
        run = subprocess.run([sys.executable, script, str(src), *core], capture_output=True,
                             text=True)
        return run.returncode, run.stdout


# (layer, include line, compiles)
SPELLINGS = [
    ("conversion", '#include "platform/utf8.h"', True),
    ("filelist", '#include "conversion/paths.h"', True),
    ("conversion", "#include <cli/options.h>", False),
    ("conversion", '#include "cli/options.h"', False),
    ("conversion", '#define H "cli/cli.h"\n#include H', False),
    ("filelist", '#include "conversion/converter.h"', False),
    ("platform", '#include "conversion/converter.h"', False),
    ("conversion", '#include "platform/posix/long_path.h"', False),
    ("conversion", '#include "filelist/folder_walk.h"', False),
    ("app", '#include "cli/options.h"', False),
    ("help", '#include "cli/options.h"', False),
]


def main(argv):
    failures = []
    status, output = check(argv[0], {})
    if status != 0:
        failures.append(f"the clean tree fails:\n{output}")
    for way, files, expected in WAYS_AROUND:
        status, output = check(argv[0], files)
        if status == 0 or expected not in output:
            failures.append(f"{way}: expected a fault naming {expected!r}, got:\n{output}")
    if len(argv) == 3:
        cxx, layers = argv[1], Path(argv[2])
        for layer, line, compiles in SPELLINGS:
            with tempfile.NamedTemporaryFile("w", suffix=".cpp") as probe:
                probe.write(line + "\n")
                probe.flush()
                run = subprocess.run([cxx, "-std=c++20", "-fsyntax-only", f"-I{layers / layer}",
                                      probe.name], capture_output=True, text=True)
            if (run.returncode == 0) != compiles:
                failures.append(f"{layer}: {line!r} {'fails' if compiles else 'compiles'}:\n"
                                f"{run.stderr}")
    for failure in failures:
        print(failure)
    print(f"{len(WAYS_AROUND)} ways around the check, {len(SPELLINGS)} spellings; "
          f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
