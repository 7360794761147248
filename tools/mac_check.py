#!/usr/bin/env python3
"""Checks macOS plug-in bundles the way Max and macOS will load them.

    mac_check.py SDK_DIR LIBSYSTEM.tbd NAME.mxo...

For each bundle:
  - Contents/Info.plist parses and names the executable, which exists, and
    Contents/PkgInfo is there;
  - the executable is universal, with an arm64 and an x86_64 slice, each an
    MH_BUNDLE whose minimum system is at most 11.0 (arm64) or 10.13 (x86_64);
  - each slice exports ext_main, and every symbol it leaves undefined is in
    the SDK's list of Max API symbols (c74_linker_flags.txt) or exported by
    a library it links: libSystem (the toolchain's stub, LIBSYSTEM.tbd) or
    the SDK's MaxAudioAPI framework;
  - the arm64 slice carries an LC_CODE_SIGNATURE whose code directory hashes
    match the code (macOS refuses unsigned arm64 code).

Uses llvm-lipo, llvm-nm and llvm-otool (LLVM_BIN, default /usr/lib/llvm-14/bin).
Prints one line per problem; exits 1 when there is any.
"""
import hashlib
import os
import plistlib
import re
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

LLVM = Path(os.environ.get("LLVM_BIN", "/usr/lib/llvm-14/bin"))
MIN_VERSION = {"arm64": (11, 0), "x86_64": (10, 13)}
LC_CODE_SIGNATURE = 0x1D
CSMAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CSMAGIC_CODEDIRECTORY = 0xFADE0C02
HASHES = {1: hashlib.sha1, 2: hashlib.sha256}


def tool(name, *args):
    return subprocess.run([str(LLVM / name), *args], check=True, capture_output=True, text=True).stdout


def allowed_symbols(sdk):
    flags = (Path(sdk) / "c74support" / "max-includes" / "c74_linker_flags.txt").read_text().split()
    return {f[len("-Wl,-U,"):] for f in flags if f.startswith("-Wl,-U,")}


def tbd_symbols(path):
    """Every name in a text stub (.tbd): its symbol lists, and a few YAML
    keys that are not symbols, which matters to nothing here."""
    return set(re.findall(r"[A-Za-z_$][\w$.]*", Path(path).read_text()))


def dylib_exports(path, arch):
    return set(tool("llvm-nm", "-gU", "-arch", arch, "-j", str(path)).split())


def min_version(slice_path):
    text = tool("llvm-otool", "-l", str(slice_path))
    m = re.search(r"cmd LC_BUILD_VERSION.*?minos ([\d.]+)", text, re.S) or \
        re.search(r"cmd LC_VERSION_MIN_MACOSX.*?version ([\d.]+)", text, re.S)
    return tuple(int(x) for x in m.group(1).split(".")[:2]) if m else None


def signature_problem(data):
    """None when the slice's code signature matches its code, else why not."""
    ncmds = struct.unpack_from("<I", data, 16)[0]
    off = 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", data, off)
        if cmd == LC_CODE_SIGNATURE:
            dataoff, datasize = struct.unpack_from("<II", data, off + 8)
            return check_superblob(data, dataoff, datasize)
        off += size
    return "no LC_CODE_SIGNATURE"


def check_superblob(data, dataoff, datasize):
    magic, _length, count = struct.unpack_from(">III", data, dataoff)
    if magic != CSMAGIC_EMBEDDED_SIGNATURE:
        return "the signature is not an embedded signature"
    for i in range(count):
        _type, boff = struct.unpack_from(">II", data, dataoff + 12 + 8 * i)
        cd = dataoff + boff
        if struct.unpack_from(">I", data, cd)[0] == CSMAGIC_CODEDIRECTORY:
            return check_code_directory(data, cd, dataoff)
    return "the signature has no code directory"


def check_code_directory(data, cd, code_limit_expected):
    (_magic, _length, _version, _flags, hash_offset, _ident, _nspecial, ncode, code_limit, hash_size, hash_type,
     _platform, page_shift) = struct.unpack_from(">IIIIIIIIIBBBB", data, cd)
    if code_limit != code_limit_expected:
        return "the code directory covers %d bytes, the code is %d" % (code_limit, code_limit_expected)
    if hash_type not in HASHES:
        return "unknown hash type %d" % hash_type
    page = 1 << page_shift
    for i in range(ncode):
        chunk = data[i * page:min((i + 1) * page, code_limit)]
        want = data[cd + hash_offset + i * hash_size:cd + hash_offset + (i + 1) * hash_size]
        if HASHES[hash_type](chunk).digest()[:hash_size] != want:
            return "page %d does not match its hash" % i
    return None


def check_slice(name, exe, arch, allow, system, work):
    problems = []
    path = Path(work) / (name + "." + arch)
    tool("llvm-lipo", str(exe), "-thin", arch, "-output", str(path))
    if "BUNDLE" not in tool("llvm-otool", "-hv", str(path)):
        problems.append("%s %s: not an MH_BUNDLE" % (name, arch))
    v = min_version(path)
    if v is None or v > MIN_VERSION[arch]:
        problems.append("%s %s: minimum system %s, above %s" % (name, arch, v, MIN_VERSION[arch]))
    if "_ext_main" not in tool("llvm-nm", "-gU", "-j", str(path)).split():
        problems.append("%s %s: ext_main is not exported" % (name, arch))
    provided = allow | system["libSystem"] | system["MaxAudioAPI"][arch]
    for sym in tool("llvm-nm", "-u", "-j", str(path)).split():
        if sym not in provided:
            problems.append("%s %s: undefined %s is neither a Max API symbol nor a system one" % (name, arch, sym))
    if arch == "arm64":
        why = signature_problem(path.read_bytes())
        if why:
            problems.append("%s arm64: code signature: %s" % (name, why))
    return problems


def check_bundle(mxo, allow, system):
    mxo = Path(mxo)
    name = mxo.name[:-len(".mxo")]
    contents = mxo / "Contents"
    try:
        info = plistlib.loads((contents / "Info.plist").read_bytes())
    except (OSError, plistlib.InvalidFileException) as e:
        return ["%s: Info.plist does not parse (%s)" % (name, e)]
    problems = []
    if info.get("CFBundleExecutable") != name:
        problems.append("%s: Info.plist names the executable %r" % (name, info.get("CFBundleExecutable")))
    if not (contents / "PkgInfo").is_file():
        problems.append("%s: no Contents/PkgInfo" % name)
    exe = contents / "MacOS" / name
    if not exe.is_file():
        return problems + ["%s: no Contents/MacOS/%s" % (name, name)]
    archs = sorted(tool("llvm-lipo", "-archs", str(exe)).split())
    if archs != ["arm64", "x86_64"]:
        return problems + ["%s: architectures %s, not arm64 and x86_64" % (name, archs)]
    with tempfile.TemporaryDirectory() as work:
        for arch in archs:
            problems += check_slice(name, exe, arch, allow, system, work)
    return problems


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    sdk, tbd, bundles = sys.argv[1], sys.argv[2], sys.argv[3:]
    audio = Path(sdk) / "c74support" / "msp-includes" / "MaxAudioAPI.framework" / "Versions" / "A" / "MaxAudioAPI"
    system = {"libSystem": tbd_symbols(tbd),
              "MaxAudioAPI": {arch: dylib_exports(audio, arch) for arch in MIN_VERSION}}
    allow = allowed_symbols(sdk)
    problems = []
    for mxo in bundles:
        problems += check_bundle(mxo, allow, system)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
