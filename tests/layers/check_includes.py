#!/usr/bin/env python3
"""Checks that product code includes only from its own layer and the layers below it, and never
from tests/. Usage: check_includes.py SOURCE_ROOT. Prints one line per offending include and
exits 1 when there is any; --self-test checks the checker on a small tree of its own."""
import re
import sys
import tempfile
from pathlib import Path

CORE_BELOW_OUTLOOK = ["stores", "mime", "config", "platform"]
CORE = ["export", "addresses", "outlook", "mapi"] + CORE_BELOW_OUTLOOK

# The folders of product code and what each may include besides itself. mapi/ holds the MAPI
# declarations that the MS Outlook backend and the provider share, so it depends on nothing.
MAY_INCLUDE = {
    "platform": [],
    "config": ["platform"],
    "mime": ["config", "platform"],
    "stores": ["mime", "config", "platform"],
    "mapi": [],
    "outlook": ["mapi"] + CORE_BELOW_OUTLOOK,
    "export": ["outlook", "mapi"] + CORE_BELOW_OUTLOOK,
    "addresses": ["outlook", "mapi"] + CORE_BELOW_OUTLOOK,
    "samples": CORE,
    "ui": CORE,
    "app": ["ui", "samples"] + CORE,
    "api": ["include"] + CORE,
    "include": [],
    "mapi-provider": ["mapi", "platform"],
    # The viewer's benchmark lists into the window's own model, offscreen.
    "bench": ["samples", "ui"] + CORE,
    "fuzz": ["samples"] + CORE,
}
SOURCE_SUFFIXES = {".h", ".hpp", ".c", ".cc", ".cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
# Qt's headers (<QWidget>, <QtCore/qstring.h>): only the windows and the programs that show them
# use Qt; the core stays usable without it.
QT_INCLUDE = re.compile(r'^\s*#\s*include\s*<(Q[A-Za-z]*(?:/[^>]*)?)>', re.MULTILINE)
MAY_INCLUDE_QT = {"ui", "app", "bench"}


def resolve(root, including, name):
    """The file an include names, looked up as the build does: beside the including file, from
    the root, from include/, and from tests/ (where test code finds its support files)."""
    for base in (including.parent, root, root / "include", root / "tests"):
        candidate = (base / name).resolve()
        if candidate.is_file():
            return candidate
    return None


def layer_of(root, path):
    relative = path.relative_to(root)
    return relative.parts[0] if len(relative.parts) > 1 else None


def offending_includes(root):
    root = root.resolve()
    found = []
    for layer in sorted(MAY_INCLUDE):
        for source in sorted((root / layer).rglob("*")):
            if source.suffix not in SOURCE_SUFFIXES or not source.is_file():
                continue
            text = source.read_text(encoding="utf-8", errors="replace")
            if layer not in MAY_INCLUDE_QT:
                for match in QT_INCLUDE.finditer(text):
                    line = text.count("\n", 0, match.start()) + 1
                    found.append(f"{source.relative_to(root)}:{line}: #include <{match.group(1)}> "
                                 f"brings Qt into {layer}/, which only ui/, app/ and bench/ may use")
            for match in INCLUDE.finditer(text):
                target = resolve(root, source, match.group(1))
                if target is None or root not in target.parents:
                    continue
                target_layer = layer_of(root, target)
                if target_layer == layer or target_layer in MAY_INCLUDE[layer]:
                    continue
                line = text.count("\n", 0, match.start()) + 1
                where = "tests/, which product code never includes" if target_layer == "tests" \
                    else f"{target_layer}/, which {layer}/ may not include"
                found.append(f"{source.relative_to(root)}:{line}: "
                             f"#include \"{match.group(1)}\" reaches into {where}")
    return found


def self_test():
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        files = {
            "platform/clock.h": "",
            "stores/facade.cpp": '#include "platform/clock.h"\n#include "outlook/backend.h"\n',
            "outlook/backend.h": '#include "stores/facade.h"\n',
            "stores/facade.h": "",
            "app/main.cpp": '#include "support/temp_dir.h"\n#include "stores/facade.h"\n',
            "tests/support/temp_dir.h": "",
            "export/run.cpp": '#include "addresses/list.h"\n',
            "mime/reader.cpp": '#include <QString>\n#include <string>\n',
            "ui/window.cpp": '#include <QWidget>\n#include "stores/facade.h"\n',
            "addresses/list.h": "",
        }
        for name, text in files.items():
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text(text)
        found = offending_includes(root)
        expected = [
            'app/main.cpp:1: #include "support/temp_dir.h" reaches into tests/',
            'export/run.cpp:1: #include "addresses/list.h" reaches into addresses/',
            'mime/reader.cpp:1: #include <QString> brings Qt into mime/',
            'stores/facade.cpp:2: #include "outlook/backend.h" reaches into outlook/',
        ]
        if len(found) != len(expected) or not all(
                line.startswith(start) for line, start in zip(found, expected)):
            print("the check found:", *found, "instead of:", *expected, sep="\n  ")
            return 1
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    found = offending_includes(Path(sys.argv[1]))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
