#!/usr/bin/env python3
"""Fails when a product file includes a file of a higher layer.

The product is layered, each layer including only the ones below it (and itself):

    runner/ guard/            the host's process and its windows; the proxy guard's process
    bridge/                   the desktop facilities, one unit each, around their hub
    messaging/                channels and their codec; portable
    common/ engine_api/ resources/   the ground floor

Nothing of the product includes what stands outside it (devkit/, tests/, bench/, fuzz/,
installer/). Prints one line per offending include and exits 1 if there is any.
"""
import pathlib
import re
import sys

RANKS = {
    "common": 0,
    "engine_api": 0,
    "resources": 0,
    "messaging": 1,
    "bridge": 2,
    "runner": 3,
    "guard": 3,
}
OUTSIDE = {"devkit", "tests", "bench", "fuzz", "installer"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(root: pathlib.Path) -> int:
    faults = []
    for layer, rank in RANKS.items():
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".rc"):
                continue
            for line_number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1).split("/")[0]
                if target in OUTSIDE or RANKS.get(target, -1) > rank:
                    faults.append(f"{path.relative_to(root)}:{line_number}: {layer}/ includes "
                                  f"{match.group(1)}, which is above it")
    for fault in faults:
        print(fault)
    print(f"layers: {len(faults)} includes pointing up")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")))
