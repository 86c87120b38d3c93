#!/usr/bin/env python3
"""What wixl cannot write, set in a built package's tables with msitools:
component conditions, rollback custom actions, the upgrade rule for a
package of the same version, the files' versions and the secure properties.

  msitables.py PACKAGE [FILE=VERSION ...]
      DocType gets the condition that ".dzy" is free or ours; Module64
      VersionNT64; every custom action whose name contains "Undo" becomes a
      rollback action (deferred, no impersonation); the major-upgrade row
      also takes in the same version (a rebuild replaces the installed
      package: one entry, never two), while a newer installed version is
      still a downgrade; each FILE (a File table key) gets VERSION and
      language 1033, so that the file replacement rules of repair and upgrade
      compare versions. The folder properties (GNDIR32, GNDIR64) join
      SecureCustomProperties, so that a folder given on the command line
      reaches the installation also when it runs with elevated rights for a
      user or from group policy; so do the Upgrade table's properties (the
      products it found).
"""
import os
import subprocess
import sys
import tempfile

# Written where ".dzy" had no owner before, or was already ours. Its key
# path is the default value of "dzyfile", so that a ".dzy" of another
# program never makes it look installed. The type key is the document's of
# resources/document_types.h (a registration test compares them).
DOCTYPE = 'NOT GN_DZY_OWNER OR GN_DZY_OWNER~="dzyfile"'
CONDITIONS = {
    "DocType": DOCTYPE,
    "Module64": "VersionNT64",
}
# Custom action type bits.
IN_SCRIPT, ROLLBACK, NO_IMPERSONATE = 0x400, 0x100, 0x800
# Public properties a command line may set for the installation itself.
SECURE = ("GNDIR32", "GNDIR64")
# Upgrade table attribute bits.
MIN_INCLUSIVE, MAX_INCLUSIVE = 0x100, 0x200


def export(package, table, folder):
    out = subprocess.run(["msiinfo", "export", package, table], check=True, stdout=subprocess.PIPE)
    return out.stdout.decode("latin-1").split("\r\n")


def write(folder, table, lines):
    with open(os.path.join(folder, table + ".idt"), "wb") as f:
        f.write("\r\n".join(lines).encode("latin-1"))


def edit(lines, width, change):
    """Applies change(cells) to every data row of an exported table."""
    for i, line in enumerate(lines[3:], 3):
        cells = line.split("\t")
        if len(cells) == width:
            lines[i] = "\t".join(change(cells))


def main(package, versions):
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

        def upgrade(cells):  # UpgradeCode VersionMin VersionMax Language Attributes Remove ActionProperty
            if cells[6] == "WIX_UPGRADE_DETECTED":
                cells[4] = str(int(cells[4] or 0) | MAX_INCLUSIVE)
            elif cells[6] == "WIX_DOWNGRADE_DETECTED":
                cells[4] = str(int(cells[4] or 0) & ~MIN_INCLUSIVE)
            return cells
        lines = export(package, "Upgrade", folder)
        edit(lines, 7, upgrade)
        found = [line.split("\t")[6] for line in lines[3:] if len(line.split("\t")) == 7]
        write(folder, "Upgrade", lines)

        def version(cells):  # File Component_ FileName FileSize Version Language Attributes Sequence
            if cells[0] in versions:
                cells[4], cells[5] = versions[cells[0]], "1033"
            return cells
        lines = export(package, "File", folder)
        edit(lines, 8, version)
        write(folder, "File", lines)

        # The folder properties are searched for (AppSearch) where they exist.
        searched = {line.split("\t")[0] for line in export(package, "AppSearch", folder)[3:]}
        wanted = [p for p in SECURE if p in searched] + found
        lines = export(package, "Property", folder)
        if not any(line.startswith("SecureCustomProperties\t") for line in lines):
            lines.append("SecureCustomProperties\t")

        def secure(cells):  # Property Value
            if cells[0] == "SecureCustomProperties":
                have = [p for p in cells[1].split(";") if p]
                cells[1] = ";".join(have + [p for p in wanted if p not in have])
            return cells
        edit(lines, 2, secure)
        write(folder, "Property", lines)
        for table in ("Component", "CustomAction", "Upgrade", "File", "Property"):
            subprocess.run(["msibuild", package, "-i", os.path.join(folder, table + ".idt")],
                           check=True)


if __name__ == "__main__":
    if len(sys.argv) < 2 or not all("=" in a for a in sys.argv[2:]):
        sys.exit(__doc__)
    main(sys.argv[1], dict(a.split("=", 1) for a in sys.argv[2:]))
