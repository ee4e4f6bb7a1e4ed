#!/usr/bin/env python3
"""The core's folders form layers: the composition root (app/) on top, the subsystems below it,
then database/, settings/, state/, identity/, ports/ and util/. A file may include only its own
layer or the ones below; this test names every include that reaches up."""
import pathlib
import re
import sys

CORE = pathlib.Path(__file__).resolve().parents[2] / "src" / "core"
SUBSYSTEMS = {"scan", "removal", "quarantine", "ignore", "backup", "update", "protection",
              "autostart", "browsers", "inventory"}
# What each folder must not include.
FORBIDDEN = {folder: {"app"} for folder in SUBSYSTEMS}
for low in ("database", "settings", "identity", "state", "ports", "util"):
    FORBIDDEN[low] = {"app"} | SUBSYSTEMS
for lowest in ("state", "ports", "util", "identity"):
    FORBIDDEN[lowest] |= {"database", "settings"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"core/([a-z_]+)/')


def main():
    faults = []
    for path in sorted(CORE.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(CORE).parts[0]
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if match and match.group(1) in FORBIDDEN.get(folder, set()):
                faults.append(f"{path.relative_to(CORE)}:{number}: {folder}/ includes {match.group(1)}/")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
