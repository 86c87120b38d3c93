#!/usr/bin/env python3
"""What wixl cannot write, set in a built package's tables with msitools:
component conditions and rollback custom actions.

  msitables.py PACKAGE
      DocType32/DocType64 get the condition that ".dzy" is free or ours;
      Module64/DocType64 also VersionNT64; every custom action whose name
      contains "Undo" becomes a rollback action (deferred, no impersonation).
"""
import os
import subprocess
import sys
import tempfile

# Written where ".dzy" had no owner before, or was already ours. Its key
# path is the default value of "dzyfile", so that a ".dzy" of another
# program never makes it look installed.
DOCTYPE = 'NOT GN_DZY_OWNER OR GN_DZY_OWNER~="dzyfile"'
CONDITIONS = {
    "DocType32": DOCTYPE,
    "Module64": "VersionNT64",
    "DocType64": "VersionNT64 AND (%s)" % DOCTYPE,
}
# Custom action type bits.
IN_SCRIPT, ROLLBACK, NO_IMPERSONATE = 0x400, 0x100, 0x800


def export(package, table, folder):
    out = subprocess.run(["msiinfo", "export", package, table], check=True, stdout=subprocess.PIPE)
    return out.stdout.decode("latin-1").split("\r\n")


def write(folder, table, lines):
    with open(os.path.join(folder, table + ".idt"), "wb") as f:
        f.write("\r\n".join(lines).encode("latin-1"))


def main(package):
    with tempfile.TemporaryDirectory() as folder:
        lines = export(package, "Component", folder)
        for i, line in enumerate(lines[3:], 3):
            cells = line.split("\t")
            if len(cells) == 6 and cells[0] in CONDITIONS:
                cells[4] = CONDITIONS[cells[0]]
                lines[i] = "\t".join(cells)
        write(folder, "Component", lines)
        lines = export(package, "CustomAction", folder)
        for i, line in enumerate(lines[3:], 3):
            cells = line.split("\t")
            if len(cells) >= 2 and "Undo" in cells[0]:
                cells[1] = str(int(cells[1]) | IN_SCRIPT | ROLLBACK | NO_IMPERSONATE)
                lines[i] = "\t".join(cells)
        write(folder, "CustomAction", lines)
        for table in ("Component", "CustomAction"):
            subprocess.run(["msibuild", package, "-i", os.path.join(folder, table + ".idt")],
                           check=True)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
