#!/usr/bin/env python3
"""Registry exports (regedit /E files) read into a plain model, compared, and
turned into installer registry rows.

  regfile.py rows BEFORE AFTER MODULE OUT_DIR
      What registering MODULE (its Windows path) added under
      HKEY_LOCAL_MACHINE\\Software\\Classes between BEFORE and AFTER, written as
      RegistryValue elements in three parts: OUT_DIR/module.wxi (what each
      registry view holds for itself: the class and interface keys and the
      type library's path for the module's target system), OUT_DIR/shared.wxi
      (what both flavors share: identifiers, type library, MIME entries,
      ".dzd" and "dzdfile") and OUT_DIR/doctype.wxi (".dzy" and the type key
      it names), with the module path as [#$(var.DllFile)] and its folder as
      [$(var.DllDir)]; OUT_DIR/expected.txt lists the same entries as text.
      Keys every Windows has (SYSTEM_KEYS) never become rows.
  regfile.py diff BEFORE AFTER [--ignore FILE] [--module PATH]
      Prints what differs between two exports, one line per key or value
      ("+" added, "-" removed, "~" changed), leaving out keys named in FILE;
      with --module, PATH in values reads as $MODULE. Exit 1 when anything
      differs.
  regfile.py list FILE [--ignore FILE] [--module PATH] [--under KEY]
      The entries of one export in the same text form.
"""
import re
import sys
from xml.sax.saxutils import quoteattr

CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes"


def decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    if raw.startswith(b"\xef\xbb\xbf"):
        return raw[3:].decode("utf-8")
    return raw.decode("latin-1")


def parse_string(text, i):
    """A quoted string starting at text[i] == '"'; returns (value, next index)."""
    out = []
    i += 1
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append(text[i + 1])
            i += 2
            continue
        if c == '"':
            return "".join(out), i + 1
        out.append(c)
        i += 1
    raise ValueError("unterminated string")


def hex_bytes(text):
    text = text.replace("\\", "").replace(" ", "").strip()
    return bytes(int(h, 16) for h in text.split(",") if h)


def parse_data(text):
    """(type, data) of one value's right-hand side. Strings stay strings,
    numbers become ints, everything else hex text."""
    if text.startswith('"'):
        value, _ = parse_string(text, 0)
        return "sz", value
    if text.startswith("dword:"):
        return "dword", int(text[6:], 16)
    m = re.match(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", text, re.S)
    if m:
        kind = int(m.group(1), 16) if m.group(1) else 3
        data = hex_bytes(m.group(2))
        if kind in (1, 2, 7):  # strings kept as UTF-16 text
            value = data.decode("utf-16-le", "replace").rstrip("\0")
            return {1: "sz", 2: "expand_sz", 7: "multi_sz"}[kind], value
        return "hex(%x)" % kind, data.hex()
    m = re.match(r"str\(([0-9a-fA-F]+)\):(.*)$", text, re.S)
    if m:
        value, _ = parse_string(m.group(2), 0)
        return {2: "expand_sz", 7: "multi_sz"}.get(int(m.group(1), 16), "sz"), value
    raise ValueError("unknown value form: " + text[:40])


def load(path):
    """{lower key path: (key path, {lower name: (name, type, data)})}; the
    default value's name is "@"."""
    text = decode(open(path, "rb").read())
    lines = text.replace("\r\n", "\n").split("\n")
    keys = {}
    current = None
    i = 0
    while i < len(lines):
        line = lines[i]
        while line.endswith("\\") and i + 1 < len(lines):  # continued hex data
            i += 1
            line = line[:-1] + lines[i].strip()
        i += 1
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            current = keys.setdefault(name.lower(), (name, {}))[1]
            continue
        if current is None or not line or line.startswith(("#", ";")):
            continue
        if line.startswith("@="):
            name, rest = "@", line[2:]
        elif line.startswith('"'):
            name, end = parse_string(line, 0)
            if line[end:end + 1] != "=":
                continue
            rest = line[end + 1:]
        else:
            continue
        kind, data = parse_data(rest)
        current[name.lower()] = (name, kind, data)
    return keys


def ignored_prefixes(path):
    if not path:
        return []
    out = []
    for line in open(path):
        line = line.split("#", 1)[0].strip()
        if line:
            out.append(line.lower())
    return out


def is_ignored(key, prefixes):
    k = key.lower()
    return any(k == p or k.startswith(p + "\\") for p in prefixes)


def show(kind, data, module):
    if kind == "dword":
        return "dword:%d" % data
    text = str(data)
    if module:
        text = re.sub(re.escape(module), "$MODULE", text, flags=re.I)
    return "%s:%s" % (kind, text)


def entries(keys, module=None, prefixes=(), under=None):
    """Sorted text lines: one per key, one per value."""
    out = []
    for lower, (name, values) in keys.items():
        if is_ignored(name, prefixes):
            continue
        if under and not (lower == under.lower() or lower.startswith(under.lower() + "\\")):
            continue
        out.append("%s\\" % name)
        for vname, kind, data in values.values():
            out.append("%s\\\\%s = %s" % (name, vname, show(kind, data, module)))
    return sorted(out, key=str.lower)


def diff(before, after, module=None, prefixes=()):
    lines = []
    a_keys, b_keys = load(before), load(after)
    for lower in sorted(set(a_keys) | set(b_keys)):
        name = (b_keys.get(lower) or a_keys.get(lower))[0]
        if is_ignored(name, prefixes):
            continue
        if lower not in a_keys:
            lines.append("+ %s\\" % name)
        elif lower not in b_keys:
            lines.append("- %s\\" % name)
        a_vals = a_keys.get(lower, ("", {}))[1]
        b_vals = b_keys.get(lower, ("", {}))[1]
        for v in sorted(set(a_vals) | set(b_vals)):
            if v not in a_vals:
                n, k, d = b_vals[v]
                lines.append("+ %s\\\\%s = %s" % (name, n, show(k, d, module)))
            elif v not in b_vals:
                n, k, d = a_vals[v]
                lines.append("- %s\\\\%s = %s" % (name, n, show(k, d, module)))
            elif a_vals[v][1:] != b_vals[v][1:]:
                n, k, d = b_vals[v]
                lines.append("~ %s\\\\%s = %s (was %s)" % (name, n, show(k, d, module),
                                                        show(a_vals[v][1], a_vals[v][2], module)))
    return lines


# ".dzy" and its type key belong to the document-type component: the package
# writes them only where no other program owns ".dzy". The names are those of
# resources/document_types.h (a registration test compares them).
DOCTYPE_KEYS = (".dzy", "dzyfile")

# Keys below the classes root that every Windows has: never rows, so that no
# package owns or deletes them, whether the scratch prefix had them or not.
# Registration only adds below them (or leaves them as they are).
SYSTEM_KEYS = {k.lower() for k in (
    "CLSID", "Interface", "TypeLib", "MIME", "MIME\\Database", "MIME\\Database\\Content Type",
    "Component Categories",
    "Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",  # safe for scripting
    "Component Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}",  # safe for initializing
    "Component Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}",  # AppContainer compatible
)}


def part_of(sub):
    """Which component a key below the classes root belongs to: "doctype",
    "module" (kept per registry view: each flavor has its own), "shared"
    (one key for both flavors), or None for a system key."""
    lower = sub.lower()
    if lower in SYSTEM_KEYS or any(lower.startswith(k + "\\") for k in SYSTEM_KEYS
                                   if k.startswith("component categories\\")):
        return None
    first = lower.split("\\")[0]
    if first in DOCTYPE_KEYS:
        return "doctype"
    if first in ("clsid", "interface"):
        return "module"
    # TypeLib\{LIBID}\<version>\<locale>\win32 (or win64): the library's
    # path for one target system.
    if re.match(r"typelib\\[^\\]+\\[^\\]+\\[^\\]+\\win(32|64)(\\|$)", lower):
        return "module"
    return "shared"

# The value each shared part is known by (its component's key path).
SHARED_KEY_PATH = ("dzxlauncher.morvanelauncher\\clsid", "@")


def formatted(text, module, folder):
    """A value as installer formatted text: brackets escaped, the module's
    path and folder as references."""
    text = text.replace("[", "\x01").replace("]", "\x02")
    text = text.replace("\x01", "[\\[]").replace("\x02", "[\\]]")
    text = re.sub(re.escape(module), "\x03", text, flags=re.I)
    text = re.sub(re.escape(folder), "\x04", text, flags=re.I)
    return text.replace("\x03", "[#$(var.DllFile)]").replace("\x04", "[$(var.DllDir)]")


# Written by Wine itself while a fresh prefix starts, at its own time (in a
# 64-bit prefix, in both registry views).
PLATFORM_CHURN = ("hkey_local_machine\\software\\microsoft\\windows nt\\currentversion\\networkcards",
                  "hkey_local_machine\\software\\wow6432node\\microsoft\\windows nt\\currentversion\\networkcards")

WOW64_TYPELIB_KEYS = ("hkey_local_machine\\software\\wow6432node\\classes\\interface\\",
                      "hkey_local_machine\\software\\wow6432node\\classes\\typelib\\")


def rows(before, after, module, out_dir):
    a_keys, b_keys = load(before), load(after)
    folder = module[: module.rfind("\\") + 1]
    prefix = CLASSES.lower() + "\\"
    parts = {"module": [], "shared": [], "doctype": []}
    expected = []
    for lower in sorted(b_keys):
        if lower.startswith(WOW64_TYPELIB_KEYS):
            # The platform's registration of a 64-bit type library also
            # writes the library and its interfaces in the 32-bit view, for
            # 32-bit callers. No row: the x64 package's 32-bit rows write the
            # library and its interfaces there for the 32-bit DLL, and the
            # 64-bit DLL's own registration, which the package runs after the
            # tables, adds its path there and takes it away at removal.
            continue
        if not lower.startswith(prefix):
            # Elsewhere in the software hive registration writes nothing (the
            # system hive changes by itself: devices, services).
            if lower.startswith("hkey_local_machine\\software\\") and not lower.startswith(
                    PLATFORM_CHURN) and (
                    lower not in a_keys or a_keys[lower] != b_keys[lower]):
                sys.exit("registration wrote outside the classes root: " + b_keys[lower][0])
            continue
        name, values = b_keys[lower]
        sub = name[len(prefix):]
        old = a_keys.get(lower, ("", {}))[1]
        new = [v for k, v in sorted(values.items()) if old.get(k) != v]
        if lower in a_keys and not new:
            continue
        if any(k not in values for k in old):
            sys.exit("registration removed a value in " + name)
        part = part_of(sub)
        if part is None:
            continue
        expected.append("%s\\" % name)
        lines = parts[part]
        has_subkeys = any(k.startswith(lower + "\\") for k in b_keys)
        if not new and not has_subkeys:
            # A key that is there by being there, new and so ours: made at
            # install, deleted at removal and rollback ("*").
            lines.append('<RegistryValue Root="HKCR" Key=%s Name="*" Value="" Type="string"/>'
                         % quoteattr(sub))
        for vname, kind, data in new:
            expected.append("%s\\\\%s = %s" % (name, vname, show(kind, data, module)))
            attrs = 'Root="HKCR" Key=%s' % quoteattr(sub)
            if vname != "@":
                attrs += " Name=%s" % quoteattr(vname)
            if kind == "dword":
                attrs += ' Value="%d" Type="integer"' % data
            elif kind in ("sz", "expand_sz"):
                attrs += " Value=%s Type=%s" % (
                    quoteattr(formatted(data, module, folder)),
                    '"string"' if kind == "sz" else '"expandable"')
            else:
                sys.exit("no row form for a %s value in %s" % (kind, name))
            if part == "doctype" and sub.lower() == DOCTYPE_KEYS[1] and vname == "@":
                attrs += ' KeyPath="yes"'  # ours alone, unlike ".dzy"
            if part == "shared" and (sub.lower(), vname) == SHARED_KEY_PATH:
                attrs += ' KeyPath="yes"'
            lines.append("<RegistryValue %s/>" % attrs)
    for part, lines in parts.items():
        with open("%s/%s.wxi" % (out_dir, part), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="utf-8"?>\n<!-- Generated by installer/regfile.py'
                    ' from what the module\'s own registration writes. -->\n<Include>\n')
            for line in lines:
                f.write("  %s\n" % line)
            f.write("</Include>\n")
    with open("%s/expected.txt" % out_dir, "w", encoding="utf-8") as f:
        f.write("".join("%s\n" % e for e in sorted(expected, key=str.lower)))


def option(args, name):
    if name in args:
        i = args.index(name)
        value = args[i + 1]
        del args[i:i + 2]
        return value
    return None


def main(args):
    if not args:
        sys.exit(__doc__)
    command, args = args[0], args[1:]
    ignore = ignored_prefixes(option(args, "--ignore"))
    module = option(args, "--module")
    under = option(args, "--under")
    if command == "rows" and len(args) == 4:
        rows(*args)
        return 0
    if command == "diff" and len(args) == 2:
        lines = diff(args[0], args[1], module, ignore)
        print("\n".join(lines))
        return 1 if lines else 0
    if command == "list" and len(args) == 1:
        print("\n".join(entries(load(args[0]), module, ignore, under)))
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
