#!/usr/bin/env python3
"""Lays out the Max package and zips it.

    package.py ROOT OUT --classes CLASSES.json --sound DEMO.wav
               [--externals DIR]... [--zip]

writes OUT/spectrogram/ in the layout Max expects of a package:

    package-info.json     name, version (from ROOT/VERSION), author, description,
                          max_version_min 8.2, the platforms
    externals/            every NAME.mxo bundle and NAME.mxe64 file of the --externals folders
    help/                 ROOT/package/help/*.maxhelp
    docs/refpages/        NAME.maxref.xml, generated (tools/refpages.py)
    media/demo.wav        the demo sound the help patchers and the example read
    examples/             ROOT/examples/demo.maxpat
    README.md, LICENSE    ROOT/package/README.md, ROOT/package/LICENSE

and with --zip also OUT/spectrogram-VERSION.zip holding that folder.
"""
import argparse
import json
import os
import shutil
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import refpages  # noqa: E402

NAME = "spectrogram"


def package_info(version):
    return {
        "name": NAME,
        "version": version,
        "author": "The spectrogram~ authors",
        "description": "spectrogram~: the spectrogram of a buffer~ with zoom, selection and spectral editing "
                       "(gain masks, frequency and pitch shift, undo), saved as PNG; gradix: its colour bar.",
        "tags": ["spectrogram", "FFT", "spectral editing", "buffer~", "analysis"],
        "website": "",
        "max_version_min": "8.2",
        "max_version_max": "none",
        "os": {
            "macintosh": {"platform": ["x64", "arm64"], "min_version": "10.13"},
            "windows": {"platform": ["x64"], "min_version": "none"},
        },
        "homepatcher": "",
    }


def copy_externals(folders, dest):
    dest.mkdir(parents=True, exist_ok=True)
    for folder in folders:
        for item in sorted(Path(folder).iterdir()):
            if item.suffix == ".mxo" and item.is_dir():
                shutil.copytree(item, dest / item.name, symlinks=True)
            elif item.suffix == ".mxe64" and item.is_file():
                shutil.copy2(item, dest / item.name)


def zip_folder(folder, path):
    """Zips folder (as its own top-level entry), keeping the executable bits."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for p in sorted(folder.rglob("*")):
            arcname = str(p.relative_to(folder.parent))
            if p.is_dir():
                continue
            info = zipfile.ZipInfo.from_file(p, arcname)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = (os.stat(p).st_mode & 0xFFFF) << 16
            with open(p, "rb") as f:
                z.writestr(info, f.read())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("root")
    ap.add_argument("out")
    ap.add_argument("--classes", required=True)
    ap.add_argument("--sound", required=True)
    ap.add_argument("--externals", action="append", default=[])
    ap.add_argument("--zip", action="store_true")
    args = ap.parse_args()
    root, out = Path(args.root), Path(args.out)
    version = (root / "VERSION").read_text().strip()
    pkg = out / NAME
    if pkg.exists():
        shutil.rmtree(pkg)
    pkg.mkdir(parents=True)

    (pkg / "package-info.json").write_text(json.dumps(package_info(version), indent=4) + "\n")
    copy_externals(args.externals, pkg / "externals")
    shutil.copytree(root / "package" / "help", pkg / "help")
    try:
        classes, descs = refpages.load(args.classes, root / "package" / "reference")
    except refpages.Mismatch as e:
        print(e, file=sys.stderr)
        return 1
    refs = pkg / "docs" / "refpages"
    refs.mkdir(parents=True)
    for name in classes:
        (refs / (name + ".maxref.xml")).write_text(refpages.maxref(name, classes[name], descs[name]))
    (pkg / "media").mkdir()
    shutil.copy2(args.sound, pkg / "media" / "demo.wav")
    (pkg / "examples").mkdir()
    shutil.copy2(root / "examples" / "demo.maxpat", pkg / "examples" / "demo.maxpat")
    for f in ("README.md", "LICENSE"):
        shutil.copy2(root / "package" / f, pkg / f)
    print(pkg)
    if args.zip:
        z = out / ("%s-%s.zip" % (NAME, version))
        zip_folder(pkg, z)
        print(z)
    return 0


if __name__ == "__main__":
    sys.exit(main())
