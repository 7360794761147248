#!/usr/bin/env bash
# sdk-check DIR BUILD: builds every plug-in again against the real Max SDK
# headers in DIR/c74support (a checkout of Cycling74/max-sdk-base), then
#  (a) loads the Linux builds into the stand-in host and runs the host and
#      end-to-end tests on them (MAXHOST_PATH puts them ahead of ours);
#  (b) cross-compiles the same sources with mingw-w64 into Windows .mxe64
#      DLLs linked against the SDK's x64 import libraries and checks that
#      they link and export ext_main.
# Prints one row per plug-in and target.  Not part of CI (no SDK there).
set -uo pipefail
SDK="$(cd "$1" && pwd)/c74support"
BUILD="$(cd "$2" && pwd)"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="$BUILD/sdk-check"
PFFFT_SRC="$ROOT/deps/node_modules/@echogarden/pffft-wasm/src/pffft.c"

[[ -d "$SDK/max-includes" && -d "$SDK/msp-includes" ]] || { echo "sdk-check: no c74support/max-includes in $1" >&2; exit 2; }
command -v x86_64-w64-mingw32-g++ >/dev/null || { echo "sdk-check: x86_64-w64-mingw32-g++ missing (Debian package g++-mingw-w64-x86-64)" >&2; exit 2; }
rm -rf "$OUT" && mkdir -p "$OUT/linux" "$OUT/windows" "$OUT/obj"

SDKINC=(-I"$SDK/max-includes" -I"$SDK/msp-includes" -I"$SDK")
declare -a rows
status=0

build_one() { # name manifest
    local name="$1" manifest="$2" srcs=() incs=() defs=() pffft=0
    while read -r kind value; do
        case "$kind" in
            src) srcs+=("$value") ;;
            inc) incs+=(-I"$value") ;;
            def) defs+=(-D"$value") ;;
            pffft) pffft="$value" ;;
        esac
    done < "$manifest"
    local lextra=() wextra=()
    if [[ "$pffft" == 1 ]]; then
        incs+=(-I"$(dirname "$PFFFT_SRC")")
        gcc -O3 -msse2 -fPIC -w -c "$PFFFT_SRC" -o "$OUT/obj/pffft-linux.o" && lextra+=("$OUT/obj/pffft-linux.o")
        x86_64-w64-mingw32-gcc -O3 -msse2 -w -c "$PFFFT_SRC" -o "$OUT/obj/pffft-win.o" && wextra+=("$OUT/obj/pffft-win.o")
    fi
    local log="$OUT/$name.linux.log"
    if g++ -std=c++17 -O2 -fPIC -shared -fvisibility=hidden -w "${SDKINC[@]}" "${incs[@]}" "${defs[@]}" "${srcs[@]}" "${lextra[@]}" \
        -o "$OUT/linux/$name.mxl_x86_64" > "$log" 2>&1; then
        rows+=("$name|linux x86_64 (g++, real headers)|built")
    else
        rows+=("$name|linux x86_64 (g++, real headers)|FAILED to build (see $log)"); status=1
    fi
    log="$OUT/$name.windows.log"
    # -muse-unaligned-vector-move: GCC cannot align the Windows stack for the
    # 32-byte spills of the AVX2 kernels, so the assembler makes them unaligned.
    if x86_64-w64-mingw32-g++ -std=c++17 -O2 -shared -w -static-libgcc -static-libstdc++ -Wa,-muse-unaligned-vector-move \
        "${SDKINC[@]}" "${incs[@]}" "${defs[@]}" "${srcs[@]}" "${wextra[@]}" -o "$OUT/windows/$name.mxe64" \
        "$SDK/max-includes/x64/MaxAPI.lib" "$SDK/msp-includes/x64/MaxAudio.lib" > "$log" 2>&1; then
        local problems
        if problems=$(bash "$ROOT/tools/win-check.sh" "$OUT/windows/$name.mxe64"); then
            rows+=("$name|windows x64 (mingw-w64, MaxAPI.lib)|linked; imports Max and system DLLs only, no DllMain; exports ext_main")
        else
            rows+=("$name|windows x64 (mingw-w64, MaxAPI.lib)|FAILED: ${problems//$'\n'/; }"); status=1
        fi
    else
        rows+=("$name|windows x64 (mingw-w64, MaxAPI.lib)|FAILED to link (see $log)"); status=1
    fi
}

for manifest in "$BUILD"/externals/manifest/*.txt; do
    build_one "$(basename "$manifest" .txt)" "$manifest"
done

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
