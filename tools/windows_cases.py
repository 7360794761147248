#!/usr/bin/env python3
"""The end-to-end cases of `./run windows-check`, run by the patch runner on
one platform, and the comparison of two platforms' transcripts.

  windows_cases.py run --patchhost EXE [--wine WINE] --externals DIR --cases DIR --out DIR [--case NAME]...
      Copies the cases (tests/windows/cases: NAME.maxpat and NAME.txt) and
      the sound they read (tones.wav, written here, and a copy with a
      non-ASCII name) into OUT/work, runs
      `patchhost run NAME.maxpat --script NAME.txt` for each, and keeps the
      transcript as OUT/NAME.jsonl.  With --wine the runner is a Windows
      program started through Wine.
  windows_cases.py compare REF_DIR OTHER_DIR --cases DIR
      Compares each case's transcripts: every line in the same order, the
      same kinds, boxes, outlets, selectors, symbols, integers and console
      lines; floats (analysis values) within a relative 1e-5; buffer rms
      and peaks within a relative 1e-6.  Buffer hashes: see compare_hashes.
      Paths are compared after normalising (see normalise_paths).  The
      pictures a case's script writes with `snapshot` are compared only at
      column 2 (see compare_snapshots).  Prints one row per case; exit
      status 1 on any difference.
  windows_cases.py echo --patchhost EXE [--wine WINE] --externals DIR --cases DIR --case NAME
      Runs one case and checks that the messages out of its boxes are the
      ones its script's "# expect" lines list, in order (the argmix case:
      every typed argument arrived in its place).
"""
import argparse
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import zlib

SOUND_RATE = 48000


def tones(frames, channel):
    """Channel 0: two steady sines; channel 1: a rising chirp over a little
    noise from a fixed generator, so that edits change every kind of bin."""
    out = []
    seed = 12345
    for i in range(frames):
        t = i / SOUND_RATE
        if channel == 0:
            v = 0.4 * math.sin(2 * math.pi * 1000 * t) + 0.2 * math.sin(2 * math.pi * 5000 * t)
        else:
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            noise = (seed / 0x7FFFFFFF - 0.5) * 0.02
            v = 0.3 * math.sin(2 * math.pi * (500 * t + 8000 * t * t)) + noise
        out.append(v)
    return out


def write_tones(path, seconds=0.5):
    """A stereo 32-bit float WAV: bit-exact through any reader."""
    frames = int(SOUND_RATE * seconds)
    chans = [tones(frames, 0), tones(frames, 1)]
    data = b"".join(struct.pack("<ff", chans[0][i], chans[1][i]) for i in range(frames))
    fmt = struct.pack("<HHIIHH", 3, 2, SOUND_RATE, SOUND_RATE * 8, 8, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"fact" + struct.pack("<II", 4, frames) + b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def case_names(cases, only):
    names = sorted(f[:-7] for f in os.listdir(cases) if f.endswith(".maxpat"))
    return [n for n in names if not only or n in only]


def prepare(cases, work):
    """The cases and their sound in one folder that both platforms read."""
    os.makedirs(work, exist_ok=True)
    for f in os.listdir(cases):
        shutil.copy(os.path.join(cases, f), work)
    sound = os.path.join(work, "tones.wav")
    if not os.path.exists(sound):
        write_tones(sound)
        # The same sound under a name outside ASCII, which must reach the
        # file system as UTF-8 on both platforms.
        shutil.copy(sound, os.path.join(work, "kl\u00e4nge.wav"))


def run_case(args, work, name, transcript):
    cmd = ([args.wine] if args.wine else []) + [args.patchhost, "run", name + ".maxpat", "--script", name + ".txt",
                                                "--path", args.externals, "--transcript", transcript]
    start = time.monotonic()
    p = subprocess.run(cmd, cwd=work, capture_output=True, text=True, timeout=600)
    return p.returncode, p.stderr, time.monotonic() - start


def cmd_run(args):
    out = os.path.abspath(args.out)
    work = os.path.join(out, "work")
    prepare(args.cases, work)
    status = 0
    for name in case_names(args.cases, args.case):
        transcript = os.path.join(out, name + ".jsonl")
        code, err, seconds = run_case(args, work, name, transcript)
        with open(os.path.join(out, name + ".stderr"), "w") as f:
            f.write(err)
        print(f"{name}: exit {code} in {seconds:.1f} s")
        if code != 0:
            status = 1
    return status


# Folder names in transcripts: the Linux runner writes /work/..., the
# Windows one under Wine Z:\work\... or Z:/work/...; both become /work/...
# with forward slashes.
DRIVE = re.compile(r"\b[A-Za-z]:[\\/]")


def normalise_paths(text):
    if not DRIVE.search(text) and "\\" not in text:
        return text
    return DRIVE.sub("/", text).replace("\\", "/")


def same(a, b, where, problems):
    if isinstance(a, bool) or isinstance(b, bool) or a is None or b is None:
        if a != b:
            problems.append(f"{where}: {a!r} against {b!r}")
    elif isinstance(a, float) or isinstance(b, float):
        tolerance = 1e-6 if re.search(r"\.(rms|peak)\[", where) else 1e-5
        if not (isinstance(a, (int, float)) and isinstance(b, (int, float))):
            problems.append(f"{where}: {a!r} against {b!r}")
        elif isinstance(a, int) != isinstance(b, int):
            problems.append(f"{where}: {a!r} against {b!r} (an integer against a float)")
        elif not (a == b or (math.isnan(a) and math.isnan(b)) or abs(a - b) <= tolerance * max(1.0, abs(a), abs(b))):
            problems.append(f"{where}: {a!r} against {b!r}")
    elif isinstance(a, str) and isinstance(b, str):
        if normalise_paths(a) != normalise_paths(b):
            problems.append(f"{where}: {a!r} against {b!r}")
    elif isinstance(a, list) and isinstance(b, list):
        if len(a) != len(b):
            problems.append(f"{where}: {len(a)} values against {len(b)}: {a!r} against {b!r}")
        for i, (x, y) in enumerate(zip(a, b)):
            same(x, y, f"{where}[{i}]", problems)
    elif isinstance(a, dict) and isinstance(b, dict):
        if sorted(a) != sorted(b):
            problems.append(f"{where}: fields {sorted(a)} against {sorted(b)}")
        for k in a:
            if k in b:
                same(a[k], b[k], f"{where}.{k}", problems)
    elif a != b:
        problems.append(f"{where}: {a!r} against {b!r}")


def hash_pattern(hashes):
    """Each hash replaced by the position of its first appearance: which
    states are new and which return to an earlier one (undo, redo, an
    untouched channel)."""
    first = {}
    return [first.setdefault(h, len(first)) for h in hashes]


def compare_hashes(ref, other, problems):
    """The hashes of every channel of every buffer~ report, in order.  A
    hash may differ only in a state that an edit computed through the C
    maths library (sin, cos, atan2, pow ...), whose last bits differ between
    glibc and the Windows runtime: then the channel's pattern of new and
    restored states must still agree, and its rms and peak (compared with
    the rest of the line) within a relative 1e-6.  Returns the number of
    hashes that agree bit for bit, and the total."""
    seqs = {}
    for side, lines in ((0, ref), (1, other)):
        for line in lines:
            if line.get("t") == "buffer":
                for c, h in enumerate(line.get("hash", [])):
                    seqs.setdefault((line["name"], c), ([], []))[side].append(h)
    equal = total = 0
    for (name, c), (a, b) in sorted(seqs.items()):
        if hash_pattern(a) != hash_pattern(b):
            problems.append(f"buffer {name} channel {c + 1}: states {hash_pattern(a)} against {hash_pattern(b)}")
        equal += sum(x == y for x, y in zip(a, b))
        total += max(len(a), len(b))
    return equal, total


def without_hash(line):
    return {k: v for k, v in line.items() if k != "hash"} if line.get("t") == "buffer" else line


def read_png(path):
    """Width, height and rows of (r, g, b) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG file")
    pos, idat = 8, b""
    while pos + 8 <= len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b"IHDR":
            w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
    if depth != 8 or ctype not in (2, 6):
        raise ValueError(f"{path}: not 8-bit RGB or RGBA")
    raw, bpp = zlib.decompress(idat), 4 if ctype == 6 else 3
    stride, rows, prev = w * bpp, [], bytearray(w * bpp)
    for y in range(h):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a, b = (line[i - bpp] if i >= bpp else 0), prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c]
            line[i] = (line[i] + pred[kind]) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(w)])
        prev = line
    return w, h, rows


def compare_snapshots(script, ref_work, other_work, problems):
    """The pictures the script writes (`snapshot BOX FILE`), at column 2:
    for a gradix, the edge of the colour bar, where no label is drawn, so
    that the colours show the bar following its spectrogram~ (range,
    scheme, custom colours) whatever draws the text.  Each channel within
    2 levels (the two platforms round colours apart).  Returns how many
    pictures agree."""
    files = []
    with open(script) as f:
        for line in f:
            words = line.split()
            if len(words) == 3 and words[0] == "snapshot":
                files.append(words[2])
    agree = 0
    for name in files:
        try:
            (w1, h1, a), (w2, h2, b) = (read_png(os.path.join(d, name)) for d in (ref_work, other_work))
        except (OSError, ValueError, zlib.error) as e:
            problems.append(f"{name}: {e}")
            continue
        if (w1, h1) != (w2, h2) or w1 < 3:
            problems.append(f"{name}: {w1} x {h1} against {w2} x {h2}")
            continue
        bad = [y for y in range(h1) if any(abs(p - q) > 2 for p, q in zip(a[y][2], b[y][2]))]
        if bad:
            problems.append(f"{name}: column 2 differs in {len(bad)} rows, first row {bad[0]}: "
                            f"{a[bad[0]][2]} against {b[bad[0]][2]}")
        else:
            agree += 1
    return agree, len(files)


def read_transcript(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def summary(lines):
    kinds = {}
    for line in lines:
        kinds[line.get("t")] = kinds.get(line.get("t"), 0) + 1
    return ", ".join(f"{n} {k}" for k, n in sorted(kinds.items()))


def cmd_compare(args):
    status = 0
    for name in case_names(args.cases, None):
        ref_path, other_path = (os.path.join(d, name + ".jsonl") for d in (args.ref, args.other))
        if not os.path.exists(ref_path) or not os.path.exists(other_path):
            print(f"{name:10} MISSING transcript")
            status = 1
            continue
        ref, other = read_transcript(ref_path), read_transcript(other_path)
        problems = []
        if len(ref) != len(other):
            problems.append(f"{len(ref)} lines against {len(other)}")
        for i, (a, b) in enumerate(zip(ref, other)):
            same(without_hash(a), without_hash(b), f"line {i + 1}", problems)
        equal, total = compare_hashes(ref, other, problems)
        agree, pictures = compare_snapshots(os.path.join(args.cases, name + ".txt"), os.path.join(args.ref, "work"),
                                            os.path.join(args.other, "work"), problems)
        hashes = f"; buffer hashes: {equal} of {total} identical" if total else ""
        if equal < total:
            hashes += ", the others in the same pattern of new and restored states"
        if pictures:
            hashes += f"; {agree} of {pictures} pictures agree at column 2"
        if problems:
            status = 1
            print(f"{name:10} DIFFERENT: " + "; ".join(problems[:5]) + (" ..." if len(problems) > 5 else ""))
        else:
            print(f"{name:10} same ({len(ref)} lines: {summary(ref)}{hashes})")
    return status


def expected_lines(script):
    """The "# expect SEL ARG..." comments of a script, as (selector, args)."""
    out = []
    with open(script) as f:
        for line in f:
            m = re.match(r"\s*#\s*expect\s+(\S+)(.*)$", line)
            if m:
                args = []
                for w in m.group(2).split():
                    if re.fullmatch(r"[-+]?\d+", w):
                        args.append(int(w))
                    elif re.fullmatch(r"[-+]?(\d+\.\d*|\.\d+|\d+)([eE][-+]?\d+)?", w):
                        args.append(float(w))
                    else:
                        args.append("" if w == '""' else w)
                out.append((m.group(1), args))
    return out


def cmd_echo(args):
    out = os.path.abspath(args.out or os.path.join(os.getcwd(), "windows-cases-echo"))
    work = os.path.join(out, "work")
    prepare(args.cases, work)
    name = args.case[0]
    transcript = os.path.join(out, name + ".jsonl")
    code, err, _ = run_case(args, work, name, transcript)
    if code != 0:
        print(f"{name}: the runner exited with {code}: {err}")
        return 1
    got = [(l["sel"], l["args"]) for l in read_transcript(transcript) if l.get("t") == "outlet"]
    want = expected_lines(os.path.join(args.cases, name + ".txt"))
    problems = []
    if len(got) != len(want):
        problems.append(f"{len(got)} messages against {len(want)} expected")
    for i, (g, w) in enumerate(zip(got, want)):
        same([g[0]] + g[1], [w[0]] + w[1], f"message {i + 1}", problems)
        if any(isinstance(x, int) != isinstance(y, int) for x, y in zip(g[1], w[1])):
            problems.append(f"message {i + 1}: {g} against {w} (an integer against a float)")
    for p in problems:
        print(f"{name}: {p}")
    if not problems:
        print(f"{name}: all {len(want)} messages arrived as sent")
    return 1 if problems else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("command", choices=["run", "compare", "echo"])
    ap.add_argument("dirs", nargs="*")
    ap.add_argument("--patchhost")
    ap.add_argument("--wine")
    ap.add_argument("--externals")
    ap.add_argument("--cases", required=True)
    ap.add_argument("--out")
    ap.add_argument("--case", action="append")
    args = ap.parse_args()
    if args.command == "compare":
        if len(args.dirs) != 2:
            ap.error("compare needs REF_DIR and OTHER_DIR")
        args.ref, args.other = args.dirs
        return cmd_compare(args)
    if not args.patchhost or not args.externals:
        ap.error("run and echo need --patchhost and --externals")
    args.patchhost, args.externals = os.path.abspath(args.patchhost), os.path.abspath(args.externals)
    if args.command == "run":
        if not args.out:
            ap.error("run needs --out")
        return cmd_run(args)
    if not args.case or len(args.case) != 1:
        ap.error("echo needs one --case")
    return cmd_echo(args)


if __name__ == "__main__":
    sys.exit(main())
