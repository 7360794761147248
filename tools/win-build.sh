#!/usr/bin/env bash
# win-build SDK_DIR BUILD OUT [NAME...]: builds every packaged plug-in (the
# manifests in BUILD/externals/manifest marked "package 1"; with NAMEs, those
# plug-ins, packaged or not) as a Windows x64 DLL
# OUT/NAME.mxe64 with mingw-w64, from the same sources against the real SDK
# headers, linked against the SDK's import libraries MaxAPI.lib and
# MaxAudio.lib.  The C and C++ runtimes are linked in statically, so the DLL
# needs no MinGW DLL on the user's machine.  One log per plug-in in OUT/logs.
set -uo pipefail
SDK="$(cd "$1" && pwd)/c74support"
BUILD="$(cd "$2" && pwd)"
OUT="$3"
shift 3
ONLY=("$@")
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=tools/manifest.sh
source "$ROOT/tools/manifest.sh"
PFFFT_SRC="$ROOT/deps/node_modules/@echogarden/pffft-wasm/src/pffft.c"
command -v x86_64-w64-mingw32-g++ >/dev/null || { echo "win-build: x86_64-w64-mingw32-g++ missing (Debian package g++-mingw-w64-x86-64)" >&2; exit 2; }
mkdir -p "$OUT/logs" "$OUT/obj"
CACHE=()
command -v ccache > /dev/null && CACHE=(ccache)

status=0
for manifest in "$BUILD"/externals/manifest/*.txt; do
    name=$(basename "$manifest" .txt)
    if [[ ${#ONLY[@]} -gt 0 ]]; then
        [[ " ${ONLY[*]} " == *" $name "* ]] || continue
    else
        grep -qx 'package 1' "$manifest" || continue
    fi
    extra=()
    read_manifest "$manifest"
    log="$OUT/logs/$name.log"
    if [[ "$pffft" == 1 ]]; then
        incs+=(-I"$(dirname "$PFFFT_SRC")")
        x86_64-w64-mingw32-gcc -O3 -msse2 -w -c "$PFFFT_SRC" -o "$OUT/obj/pffft.o" && extra+=("$OUT/obj/pffft.o")
    fi
    # Each source is compiled on its own (through ccache when there is one,
    # so that a second build of unchanged sources is quick), then linked.
    # -muse-unaligned-vector-move: GCC cannot align the Windows stack for the
    # 32-byte spills of the AVX2 kernels, so the assembler makes them unaligned.
    objs=() compiled=1
    mkdir -p "$OUT/obj/$name"
    : > "$log"
    for src in "${srcs[@]}"; do
        obj="$OUT/obj/$name/${#objs[@]}-$(basename "$src").o"
        objs+=("$obj")
        "${CACHE[@]}" x86_64-w64-mingw32-g++ -std=c++17 -O2 -w -Wa,-muse-unaligned-vector-move \
            -I"$SDK/max-includes" -I"$SDK/msp-includes" -I"$SDK" "${incs[@]}" "${defs[@]}" \
            -c "$src" -o "$obj" >> "$log" 2>&1 || { compiled=0; break; }
    done
    if [[ $compiled == 1 ]] && x86_64-w64-mingw32-g++ -shared -static -static-libgcc -static-libstdc++ \
        "${objs[@]}" "${extra[@]}" -o "$OUT/$name.mxe64" \
        "$SDK/max-includes/x64/MaxAPI.lib" "$SDK/msp-includes/x64/MaxAudio.lib" >> "$log" 2>&1; then
        echo "$OUT/$name.mxe64"
    else
        echo "win-build: $name failed to build (see $log)" >&2
        status=1
    fi
done
exit $status
