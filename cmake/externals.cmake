# add_max_external(TARGET NAME SOURCES...)
# Builds a Max plug-in the way the SDK's scripts name it on Linux:
# NAME.mxl_x86_64, no "lib" prefix, every host symbol left undefined so that
# it binds to the host at load time.
function(add_max_external target name)
    add_library(${target} MODULE ${ARGN})
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME "${name}"
        SUFFIX ".mxl_${CMAKE_SYSTEM_PROCESSOR}"
        LIBRARY_OUTPUT_DIRECTORY "${SPECTRO_EXTERNALS_DIR}"
        CXX_VISIBILITY_PRESET hidden
        C_VISIBILITY_PRESET hidden)
    target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}/host/include")
endfunction()
