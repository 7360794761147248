#!/usr/bin/python3
"""Generate src/render/colormap_tables.cpp, the eight 256-entry colour tables.

Viridis, Magma, Inferno, Plasma, Cividis and Turbo are read from matplotlib's
listed colour maps (matplotlib/_cm_listed.py, parsed as text so matplotlib
itself is never imported) and written with the published decimals.  Roseus is
built from its 8-bit RRGGBB levels below, each level / 255 rounded to six
decimals.  Hot is computed by its rule (red, then green, then blue ramps),
also rounded to six decimals.  Rounding is done on exact fractions, half up.

Usage: /usr/bin/python3 tools/gen_colormaps.py [path/to/_cm_listed.py]
Run from anywhere; the output path is fixed relative to this script.  The
generated file is checked in: the build does not run this script.
"""

import ast
import os
import sys
from fractions import Fraction

DEFAULT_SOURCE = "/usr/lib/python3/dist-packages/matplotlib/_cm_listed.py"
OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "render",
                      "colormap_tables.cpp")
ENTRIES = 256
PER_LINE = 2

# Roseus, 8-bit levels RRGGBB, entry 0 first, sixteen entries a line.
ROSEUS_HEX = """
010101 010202 020202 020303 020304 020405 020506 030607 030708 03080A 03090C 030A0E 030C10 030D11 030E13 020F15
021017 021119 02121B 02131E 011420 011522 011624 011726 011828 00192B 001A2D 001B2F 001B32 001C34 001D36 001E39
001E3B 011F3E 012040 012043 022145 032148 04224A 05234D 06234F 082352 092454 0B2456 0D2559 0F255B 11255E 132560
152663 172665 192668 1B266A 1D266C 1F266F 212671 232673 262676 282678 2A267A 2C267C 2E267E 312680 332682 352584
372586 3A2588 3C248A 3E248B 41248D 43238F 452390 482392 4A2293 4C2295 4F2196 512197 542098 562099 581F9A 5B1F9B
5D1E9C 5F1D9D 621D9E 641C9F 671C9F 691BA0 6B1BA0 6E1AA1 701AA1 7219A1 7519A2 7718A2 7918A2 7C17A2 7E17A2 8017A2
8316A1 8516A1 8716A1 8916A1 8C16A0 8E16A0 90169F 92169F 94169E 96169D 99169D 9B179C 9D179B 9F179A A11899 A31898
A51997 A71A96 A91A95 AB1B94 AD1C93 AF1D92 B11D91 B31E90 B51F8E B7208D B8218C BA228B BC2389 BE2488 C02587 C12785
C32884 C52982 C62A81 C82B80 CA2D7E CB2E7D CD2F7B CE307A D03278 D13377 D33475 D43674 D63772 D73971 D93A6F DA3C6E
DB3D6D DD3F6B DE406A DF4268 E14367 E24565 E34664 E44863 E54961 E64B60 E74D5E E94E5D EA505C EB525B EC5359 ED5558
ED5757 EE5956 EF5A54 F05C53 F15E52 F26051 F26150 F3634F F4654E F5674D F5694C F66B4B F66C4A F76E4A F87049 F87248
F87448 F97647 F97847 FA7A46 FA7C46 FA7E46 FB8046 FB8245 FB8446 FB8646 FB8846 FC8A46 FC8C46 FC8E47 FC9048 FC9248
FC9449 FC964A FB984B FB9A4C FB9C4D FB9E4E FBA050 FBA251 FAA453 FAA655 FAA857 F9AA58 F9AC5A F8AE5D F8B05F F8B261
F7B463 F7B666 F6B868 F6BA6B F5BC6E F4BE70 F4C073 F3C276 F3C379 F2C57C F2C77F F1C983 F0CB86 F0CD89 EFCF8C EFD090
EED293 EED497 EDD59A EDD79E ECD9A1 ECDAA5 ECDCA9 ECDEAC EBDFB0 EBE1B4 EBE2B7 EBE4BB EBE5BF EBE6C2 ECE8C6 ECE9C9
ECEACD EDECD0 EDEDD4 EEEED7 EFEFDB F0F0DE F1F2E1 F2F3E4 F3F4E7 F4F5EA F6F6ED F7F7F0 F9F8F2 FBF9F5 FDFAF7 FEFBF9
"""

# Output order: the order of colour schemes 0..7.
TABLES = ["roseus", "viridis", "magma", "inferno", "plasma", "cividis", "turbo", "hot"]
FROM_MATPLOTLIB = ["viridis", "magma", "inferno", "plasma", "cividis", "turbo"]


def round6(q):
    """Round a non-negative Fraction to six decimals, half up, as a Fraction."""
    scaled = q * 1000000
    return Fraction(int(scaled + Fraction(1, 2)), 1000000)


def clamp01(q):
    return min(max(q, Fraction(0)), Fraction(1))


def literal(value):
    """Shortest decimal text of a value with at most six decimals, as a float literal."""
    text = "%.6f" % value
    text = text.rstrip("0")
    if text.endswith("."):
        text += "0"
    return text + "f"


def read_matplotlib(path):
    """Return {name: [[r, g, b], ...]} for the maps matplotlib lists in path."""
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read(), filename=path)
    wanted = {"_%s_data" % name: name for name in FROM_MATPLOTLIB}
    maps = {}
    for node in tree.body:
        if not isinstance(node, ast.Assign) or len(node.targets) != 1:
            continue
        target = node.targets[0]
        if isinstance(target, ast.Name) and target.id in wanted:
            maps[wanted[target.id]] = ast.literal_eval(node.value)
    missing = [name for name in FROM_MATPLOTLIB if name not in maps]
    if missing:
        sys.exit("gen_colormaps: %s lacks %s" % (path, ", ".join(missing)))
    for name, rows in maps.items():
        if len(rows) != ENTRIES or any(len(row) != 3 for row in rows):
            sys.exit("gen_colormaps: %s is not %d RGB entries" % (name, ENTRIES))
    return maps


def matplotlib_version(path):
    """The version in the _version.py next to path, or "unknown version"."""
    version_file = os.path.join(os.path.dirname(path), "_version.py")
    try:
        with open(version_file, encoding="utf-8") as f:
            tree = ast.parse(f.read(), filename=version_file)
    except OSError:
        return "unknown version"
    for node in tree.body:
        if isinstance(node, ast.Assign) and isinstance(node.value, ast.Constant):
            if any(isinstance(t, ast.Name) and t.id == "version" for t in node.targets):
                return "matplotlib %s" % node.value.value
    return "unknown version"


def roseus():
    levels = ROSEUS_HEX.split()
    if len(levels) != ENTRIES:
        sys.exit("gen_colormaps: Roseus has %d entries, not %d" % (len(levels), ENTRIES))
    rows = []
    for code in levels:
        rgb = [int(code[i:i + 2], 16) for i in (0, 2, 4)]
        rows.append([float(round6(Fraction(level, 255))) for level in rgb])
    return rows


def hot():
    rows = []
    for i in range(ENTRIES):
        x = Fraction(i, ENTRIES - 1)
        rgb = [clamp01(8 * x / 3), clamp01(8 * x / 3 - 1), clamp01(4 * x - 3)]
        rows.append([float(round6(c)) for c in rgb])
    return rows


def table_text(name, rows):
    lines = ["const float %sColormap[COLORMAP_TABLE_SIZE][3] = {" % name]
    for start in range(0, ENTRIES, PER_LINE):
        cells = ", ".join("{%s, %s, %s}" % tuple(literal(c) for c in rows[i])
                          for i in range(start, start + PER_LINE))
        lines.append("    /* %3d */ %s," % (start, cells))
    lines.append("};")
    return "\n".join(lines)


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_SOURCE
    maps = read_matplotlib(source)
    maps["roseus"] = roseus()
    maps["hot"] = hot()

    out = [
        "// Generated by tools/gen_colormaps.py from %s" % source,
        "// (%s: Viridis, Magma, Inferno, Plasma, Cividis, Turbo), the Roseus 8-bit" % matplotlib_version(source),
        "// level list in the script and the Hot rule.  Do not edit by hand: change the",
        "// script and run it again.",
        "//",
        "// The eight 256-entry colour tables of the colour schemes, entry 0 for the",
        "// lowest magnitude, and colormapLUT addressing them by scheme 0..7.",
        "#include \"colormap_tables.h\"",
        "",
    ]
    for name in TABLES:
        out.append(table_text(name, maps[name]))
        out.append("")
    out.append("const t_colormap_table colormapLUT[COLORMAP_TABLE_COUNT] = {")
    for start in range(0, len(TABLES), 4):
        out.append("    " + ", ".join("%sColormap" % name for name in TABLES[start:start + 4]) + ",")
    out.append("};")

    with open(OUTPUT, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
