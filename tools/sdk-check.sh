#!/usr/bin/env bash
# sdk-check DIR BUILD: builds every plug-in again against the real Max SDK
# headers in DIR/c74support (a checkout of Cycling74/max-sdk-base), then
#  (a) loads the Linux builds into the stand-in host and runs the host and
#      end-to-end tests on them (MAXHOST_PATH puts them ahead of ours);
#  (b) cross-compiles the packaged plug-ins with mingw-w64 into Windows
#      .mxe64 DLLs linked against the SDK's x64 import libraries and checks
#      their imports and exports (win-check.sh);
#  (c) builds the packaged plug-ins as macOS universal bundles
#      (mac-build.sh, Zig and ld64.lld) and checks them (mac-check.sh);
#      SDK_CHECK_MAC=0 leaves this out.
# Prints one row per plug-in and target.
set -uo pipefail
SDK="$(cd "$1" && pwd)/c74support"
BUILD="$(cd "$2" && pwd)"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=tools/manifest.sh
source "$ROOT/tools/manifest.sh"
OUT="$BUILD/sdk-check"
PFFFT_SRC="$ROOT/deps/node_modules/@echogarden/pffft-wasm/src/pffft.c"

[[ -d "$SDK/max-includes" && -d "$SDK/msp-includes" ]] || { echo "sdk-check: no c74support/max-includes in $1" >&2; exit 2; }
rm -rf "$OUT" && mkdir -p "$OUT/linux" "$OUT/windows" "$OUT/obj"

SDKINC=(-I"$SDK/max-includes" -I"$SDK/msp-includes" -I"$SDK")
declare -a rows
status=0

build_one() { # name manifest
    local name="$1" manifest="$2" srcs incs defs pffft
    read_manifest "$manifest"
    local lextra=()
    if [[ "$pffft" == 1 ]]; then
        incs+=(-I"$(dirname "$PFFFT_SRC")")
        gcc -O3 -msse2 -fPIC -w -c "$PFFFT_SRC" -o "$OUT/obj/pffft-linux.o" && lextra+=("$OUT/obj/pffft-linux.o")
    fi
    local log="$OUT/$name.linux.log"
    if g++ -std=c++17 -O2 -fPIC -shared -fvisibility=hidden -w "${SDKINC[@]}" "${incs[@]}" "${defs[@]}" "${srcs[@]}" "${lextra[@]}" \
        -o "$OUT/linux/$name.mxl_x86_64" > "$log" 2>&1; then
        rows+=("$name|linux x86_64 (g++, real headers)|built")
    else
        rows+=("$name|linux x86_64 (g++, real headers)|FAILED to build (see $log)"); status=1
    fi
}

for manifest in "$BUILD"/externals/manifest/*.txt; do
    build_one "$(basename "$manifest" .txt)" "$manifest"
done

# Windows: the packaged plug-ins as DLLs, and what Windows will ask of them.
if bash "$ROOT/tools/win-build.sh" "$1" "$BUILD" "$OUT/windows" > /dev/null; then
    for dll in "$OUT"/windows/*.mxe64; do
        n=$(basename "$dll" .mxe64)
        if problems=$(bash "$ROOT/tools/win-check.sh" "$dll"); then
            rows+=("$n|windows x64 (mingw-w64, MaxAPI.lib)|linked; imports Max and system DLLs only, no DllMain; exports ext_main")
        else
            rows+=("$n|windows x64 (mingw-w64, MaxAPI.lib)|FAILED: ${problems//$'\n'/; }"); status=1
        fi
    done
else
    rows+=("packaged|windows x64 (mingw-w64, MaxAPI.lib)|FAILED to link (see $OUT/windows/logs)"); status=1
fi

# macOS: the packaged plug-ins as universal bundles, and the checks that
# stand in for a Mac.
if [[ "${SDK_CHECK_MAC:-1}" == 1 ]]; then
    if bash "$ROOT/tools/mac-build.sh" "$1" "$BUILD" "$OUT/macos" > "$OUT/macos.log" 2>&1; then
        for mxo in "$OUT"/macos/*.mxo; do
            n=$(basename "$mxo" .mxo)
            if problems=$(bash "$ROOT/tools/mac-check.sh" "$1" "$mxo"); then
                rows+=("$n|macos arm64 + x86_64 (zig, ld64.lld)|universal bundle; Max API and system symbols only; exports ext_main; arm64 signed")
            else
                rows+=("$n|macos arm64 + x86_64 (zig, ld64.lld)|FAILED: ${problems//$'\n'/; }"); status=1
            fi
        done
    else
        rows+=("packaged|macos arm64 + x86_64 (zig, ld64.lld)|FAILED to build (see $OUT/macos.log)"); status=1
    fi
fi

# The same host and end-to-end tests, with the SDK-built plug-ins first on
# the search path.
testlog="$OUT/tests.log"
if (cd "$BUILD" && MAXHOST_PATH="$OUT/linux" TESTUI_DIR="$OUT/linux" \
        ctest -L 'host|e2e' --output-on-failure > "$testlog" 2>&1); then
    tests="passed ($(grep -Eo '[0-9]+ tests passed|[0-9]+% tests passed.*' "$testlog" | tail -1))"
else
    tests="FAILED (see $testlog)"; status=1
fi
for m in "$BUILD"/externals/manifest/*.txt; do
    n=$(basename "$m" .txt)
    rows+=("$n|linux x86_64 in the stand-in host|host and e2e tests $tests")
done

printf '\n%-16s %-42s %s\n' "plug-in" "target" "result"
printf '%-16s %-42s %s\n' "-------" "------" "------"
for r in "${rows[@]}"; do
    IFS='|' read -r a b c <<< "$r"
    printf '%-16s %-42s %s\n' "$a" "$b" "$c"
done
exit $status
