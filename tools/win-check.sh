#!/usr/bin/env bash
# win-check FILE.mxe64...: checks Windows plug-ins the way Max will load them.
# Each DLL must
#  - import from MaxAPI.dll, MaxAudio.dll and Windows system DLLs only (a
#    MinGW runtime DLL such as libstdc++-6.dll or libwinpthread-1.dll would
#    be missing on a user's machine);
#  - import no DllMain (its own entry point, not MaxAudio.dll's);
#  - export ext_main.
# Prints one line per problem and exits 1 when there is any.
set -uo pipefail
OBJDUMP="${OBJDUMP:-x86_64-w64-mingw32-objdump}"

# DLLs that every Windows installation has (compared in lower case).
system_dll() {
    case "$1" in
        kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | oleaut32.dll | \
            ntdll.dll | ws2_32.dll | bcrypt.dll | msvcrt.dll | ucrtbase.dll | shlwapi.dll | version.dll | \
            api-ms-win-*.dll) return 0 ;;
    esac
    return 1
}

status=0
for dll in "$@"; do
    name=$(basename "$dll")
    if ! dump=$("$OBJDUMP" -p "$dll" 2>&1); then
        echo "$name: not a PE file: $dump"; status=1; continue
    fi
    imports=$(sed -n '/^The Import Tables/,/^The Export Tables/p' <<< "$dump")
    while read -r lib; do
        [[ -z "$lib" ]] && continue
        lower=$(tr '[:upper:]' '[:lower:]' <<< "$lib")
        if [[ "$lower" != maxapi.dll && "$lower" != maxaudio.dll ]] && ! system_dll "$lower"; then
            echo "$name: imports $lib, which is neither Max's nor a Windows system DLL"; status=1
        fi
    done < <(sed -n 's/^\s*DLL Name: //p' <<< "$imports")
    if grep -qE '^\s+[0-9a-f]+\s+[0-9]+\s+DllMain\s*$' <<< "$imports"; then
        echo "$name: imports DllMain (the DLL needs an entry point of its own)"; status=1
    fi
    exports=$(sed -n '/^The Export Tables/,/^$/{p};/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<< "$dump")
    if ! grep -qE '\]\s+ext_main\s*$' <<< "$exports"; then
        echo "$name: does not export ext_main"; status=1
    fi
done
exit $status
