#!/usr/bin/env python3
"""Checks that the source folders include one way: each folder may include its own headers and those of the
folders listed below it, never a folder above it. Prints every include that reaches up and exits 1."""
import os
import re
import sys

# Each folder and the folders it may include (directly); the relation is kept acyclic by the check below.
MAY_INCLUDE = {
    "app": ["wizard", "dialogs", "engine", "system", "platform", "framework", "res"],
    "wizard": ["dialogs", "engine", "system", "platform", "framework", "res"],
    "dialogs": ["system", "platform", "framework", "res"],
    "engine": ["system", "platform", "framework"],
    "system": ["platform"],
    "platform": ["framework"],
    "framework": [],
    "res": [],
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(root):
    owner = {}
    for folder in MAY_INCLUDE:
        for name in os.listdir(os.path.join(root, folder)):
            if name.endswith(".h"):
                owner.setdefault(name, folder)
    faults = []
    for folder, allowed in MAY_INCLUDE.items():
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if not name.endswith((".h", ".cpp", ".c", ".rc")):
                continue
            with open(os.path.join(root, folder, name), encoding="utf-8", errors="replace") as f:
                for header in INCLUDE.findall(f.read()):
                    target = owner.get(os.path.basename(header))
                    if target and target != folder and target not in allowed:
                        faults.append(f"{folder}/{name} includes {target}/{header}")
    # The allowed relation itself must point one way.
    def reaches(a, b, seen=()):
        return any(c == b or (c not in seen and reaches(c, b, seen + (c,))) for c in MAY_INCLUDE[a])
    faults += [f"{a} and {b} may include each other" for a in MAY_INCLUDE for b in MAY_INCLUDE[a] if reaches(b, a)]
    for fault in faults:
        print(fault)
    print(f"check_layers: {len(faults)} includes against the layers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
