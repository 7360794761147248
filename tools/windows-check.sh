#!/usr/bin/env bash
# windows-check SDK_DIR BUILD WINBUILD: runs the Windows plug-ins for real.
#  1. builds the host for Windows x64 with mingw-w64 into WINBUILD
#     (MaxAPI.dll, MaxAudio.dll forwarding to it, patchhost.exe with `run`);
#  2. builds the packaged plug-ins and the test object argmix against the
#     real SDK in SDK_DIR/c74support (win-build.sh) into WINBUILD/externals;
#  3. checks that every name each .mxe64 imports from MaxAPI.dll or
#     MaxAudio.dll is exported by ours (Windows refuses to load a DLL with a
#     missing import; Wine only fails when the name is called);
#  4. checks that the host's headers give the real SDK's Windows layouts
#     (tests/windows/layout_probe.cpp compiled against both);
#  5. runs the cases of tests/windows/cases with the Linux runner (BUILD) and
#     with patchhost.exe under Wine (a private prefix in WINBUILD/wine), and
#     compares the transcripts (tools/windows_cases.py); the argmix case must
#     also echo every typed argument as sent.
# Prints one row per step and exits 1 when any fails.  WINE names the
# wine64 program (default /usr/lib/wine/wine64, Debian's).
set -uo pipefail
SDK_DIR="$1"
BUILD="$(cd "$2" && pwd)"
mkdir -p "$3"
WIN="$(cd "$3" && pwd)"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
WINE="${WINE:-/usr/lib/wine/wine64}"
OBJDUMP=x86_64-w64-mingw32-objdump
CASES="$ROOT/tests/windows/cases"
START=$(date +%s)
declare -a rows
status=0

row() { # step result [failed]
    rows+=("$1|$2")
    [[ "${3:-}" == failed ]] && status=1
    return 0
}

# Exported names of a DLL, one a line.
exports_of() {
    "$OBJDUMP" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[\s*[0-9]*\]\s*//p'
}

# "DLL NAME" for every import of a PE file from MaxAPI.dll or MaxAudio.dll.
max_imports_of() {
    "$OBJDUMP" -p "$1" | sed -n '/^The Import Tables/,/^The Export Tables/p' |
        awk '/DLL Name:/ { dll = $3; next }
             (dll == "MaxAPI.dll" || dll == "MaxAudio.dll") && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll, $3 }'
}

check_imports() {
    local dll name missing=() count=0 plugin
    declare -A exported
    for dll in MaxAPI.dll MaxAudio.dll; do
        while read -r name; do exported["$dll $name"]=1; done < <(exports_of "$WIN/$dll")
    done
    for plugin in "$WIN"/externals/*.mxe64; do
        while read -r dll name; do
            count=$((count + 1))
            [[ -n "${exported["$dll $name"]:-}" ]] || missing+=("$(basename "$plugin"): $dll $name")
        done < <(max_imports_of "$plugin")
    done
    if [[ ${#missing[@]} -eq 0 && $count -gt 0 ]]; then
        row "imports" "all $count imports of the plug-ins from MaxAPI.dll and MaxAudio.dll are exported by ours"
    else
        row "imports" "FAILED: ${count} imports, missing: ${missing[*]:-none read}" failed
    fi
}

check_layouts() {
    local sdk="$1" side flags out=()
    for side in host sdk; do
        if [[ $side == host ]]; then
            flags=(-I"$ROOT/host/include")
        else
            flags=(-I"$sdk/max-includes" -I"$sdk/msp-includes" -I"$sdk")
        fi
        if ! x86_64-w64-mingw32-g++ -std=c++17 -w -S "${flags[@]}" "$ROOT/tests/windows/layout_probe.cpp" \
            -o "$WIN/layout-$side.s" 2> "$WIN/layout-$side.log"; then
            row "layouts" "FAILED to compile against the $side headers (see $WIN/layout-$side.log)" failed
            return
        fi
        out+=("$(awk '$1 == ".quad" { printf "%s ", $2 }' "$WIN/layout-$side.s")")
    done
    if [[ "${out[0]}" == "${out[1]}" && -n "${out[0]}" ]]; then
        row "layouts" "sizes and offsets of $(wc -w <<< "${out[0]}") SDK type fields agree on Windows x64 (t_jbox $(cut -d' ' -f1 <<< "${out[0]}") bytes)"
    else
        row "layouts" "FAILED: host [${out[0]}] against SDK [${out[1]}]" failed
    fi
}

# 1. The host.
t0=$(date +%s)
if cmake -S "$ROOT" -B "$WIN" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/tools/mingw-w64.cmake" \
        -DSPECTRO_RUNNER_ONLY=ON -DSPECTRO_PLAIN_HOST=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$WIN/configure.log" 2>&1 &&
    cmake --build "$WIN" -j "${JOBS:-2}" > "$WIN/build.log" 2>&1; then
    row "host" "MaxAPI.dll, MaxAudio.dll, patchhost.exe built ($(($(date +%s) - t0)) s)"
else
    row "host" "FAILED to build (see $WIN/configure.log, $WIN/build.log)" failed
fi

# 2. The plug-ins against the real SDK.
t0=$(date +%s)
mapfile -t names < <(grep -lx 'package 1' "$BUILD"/externals/manifest/*.txt | xargs -n1 basename | sed 's/\.txt$//')
if bash "$ROOT/tools/win-build.sh" "$SDK_DIR" "$BUILD" "$WIN/externals" "${names[@]}" argmix > /dev/null; then
    row "plug-ins" "${names[*]} argmix built against the SDK ($(($(date +%s) - t0)) s)"
else
    row "plug-ins" "FAILED to build (see $WIN/externals/logs)" failed
fi

# 3 and 4. What Windows checks at load time, and the layouts.
[[ $status -eq 0 ]] && check_imports
check_layouts "$(cd "$SDK_DIR" && pwd)/c74support"

# 5. The cases, here and under Wine.
if [[ $status -eq 0 ]]; then
    export WINEPREFIX="$WIN/wine" WINEDEBUG=-all
    t0=$(date +%s)
    if [[ ! -d "$WINEPREFIX/drive_c/windows" ]]; then
        "$WINE" wineboot -i > "$WIN/wineboot.log" 2>&1
        row "wine" "prefix made in $WIN/wine ($(($(date +%s) - t0)) s)"
    fi
    rm -rf "$WIN/cases"
    t0=$(date +%s)
    python3 "$ROOT/tools/windows_cases.py" run --patchhost "$BUILD/apps/patchhost/patchhost" \
        --externals "$BUILD/externals" --cases "$CASES" --out "$WIN/cases/linux" > "$WIN/cases-linux.log" 2>&1 ||
        row "cases" "FAILED on Linux (see $WIN/cases-linux.log)" failed
    t1=$(date +%s)
    python3 "$ROOT/tools/windows_cases.py" run --wine "$WINE" --patchhost "$WIN/patchhost.exe" \
        --externals "$WIN/externals" --cases "$CASES" --out "$WIN/cases/windows" > "$WIN/cases-windows.log" 2>&1 ||
        row "cases" "FAILED under Wine (see $WIN/cases-windows.log)" failed
    t2=$(date +%s)
    if compared=$(python3 "$ROOT/tools/windows_cases.py" compare "$WIN/cases/linux" "$WIN/cases/windows" \
            --cases "$CASES"); then
        row "cases" "Linux ($((t1 - t0)) s) and Wine ($((t2 - t1)) s) transcripts agree:"
    else
        row "cases" "FAILED: the transcripts differ:" failed
    fi
    while read -r line; do row "" "  $line"; done <<< "$compared"
    if echoed=$(python3 "$ROOT/tools/windows_cases.py" echo --wine "$WINE" --patchhost "$WIN/patchhost.exe" \
            --externals "$WIN/externals" --cases "$CASES" --case argmix --out "$WIN/cases/echo"); then
        row "typed calls" "under Wine, $echoed"
    else
        row "typed calls" "FAILED under Wine: ${echoed//$'\n'/; }" failed
    fi
fi

printf '\n%-12s %s\n' "step" "result"
printf '%-12s %s\n' "----" "------"
for r in "${rows[@]}"; do
    IFS='|' read -r a b <<< "$r"
    printf '%-12s %s\n' "$a" "$b"
done
printf 'windows-check: %d s in all\n' "$(($(date +%s) - START))"
exit $status
