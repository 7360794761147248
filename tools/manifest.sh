# Sourced by the SDK builds: read_manifest FILE fills the arrays srcs (source
# files), incs (-I flags), defs (-D flags) and the flag pffft (1 when the
# plug-in takes in PFFFT) from a plug-in's manifest, which
# cmake/externals.cmake writes into build/externals/manifest/NAME.txt.
read_manifest() {
    srcs=() incs=() defs=() pffft=0
    local kind value
    while read -r kind value; do
        case "$kind" in
            src) srcs+=("$value") ;;
            inc) incs+=(-I"$value") ;;
            def) defs+=(-D"$value") ;;
            pffft) pffft="$value" ;;
        esac
    done < "$1"
}
