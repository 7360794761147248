# add_max_external(TARGET NAME SOURCES... [PACKAGE] [LIBS lib...] [INCLUDES dir...] [DEFINES NAME=VALUE...])
# Builds a Max plug-in the way the SDK's scripts name it on Linux:
# NAME.mxl_x86_64, no "lib" prefix, every host symbol left undefined so that
# it binds to the host at load time.  LIBS are static libraries of plug-in
# code (and pffft) linked in, whose symbols stay hidden in the plug-in;
# INCLUDES are extra include folders of the plug-in's own sources; DEFINES
# are preprocessor definitions of its sources.  PACKAGE marks a plug-in that
# the Max package ships (test plug-ins have no such mark).
#
# It also writes externals/manifest/NAME.txt, the list of every source file
# that goes into the plug-in (its own and its static libraries'), its include
# folders and definitions, which `./run sdk-check` and the macOS build
# compile again against the real SDK headers.
function(add_max_external target name)
    cmake_parse_arguments(EXT "PACKAGE" "" "LIBS;INCLUDES;DEFINES" ${ARGN})
    add_library(${target} MODULE ${EXT_UNPARSED_ARGUMENTS})
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME "${name}"
        SUFFIX ".mxl_${CMAKE_SYSTEM_PROCESSOR}"
        LIBRARY_OUTPUT_DIRECTORY "${SPECTRO_EXTERNALS_DIR}"
        CXX_VISIBILITY_PRESET hidden
        C_VISIBILITY_PRESET hidden)
    target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}/host/include" ${EXT_INCLUDES})
    target_compile_definitions(${target} PRIVATE ${EXT_DEFINES})
    if(EXT_LIBS)
        target_link_libraries(${target} PRIVATE ${EXT_LIBS})
        # Only ext_main leaves the plug-in: the static libraries' symbols stay inside.
        target_link_options(${target} PRIVATE "LINKER:--exclude-libs,ALL")
    endif()

    set(lines "")
    if(EXT_PACKAGE)
        string(APPEND lines "package 1\n")
    endif()
    foreach(d ${EXT_DEFINES})
        string(APPEND lines "def ${d}\n")
    endforeach()
    set(uses_pffft 0)
    foreach(t ${target} ${EXT_LIBS})
        if(t STREQUAL "pffft")
            set(uses_pffft 1)
            continue()
        endif()
        get_target_property(srcs ${t} SOURCES)
        get_target_property(dir ${t} SOURCE_DIR)
        foreach(s ${srcs})
            if(NOT IS_ABSOLUTE "${s}")
                set(s "${dir}/${s}")
            endif()
            if(s MATCHES "\\.(c|cc|cpp)$")
                string(APPEND lines "src ${s}\n")
            endif()
        endforeach()
        get_target_property(incs ${t} INCLUDE_DIRECTORIES)
        if(incs)
            foreach(i ${incs})
                if(NOT i MATCHES "host/include$" AND NOT i MATCHES "^\\$<")
                    string(APPEND lines "inc ${i}\n")
                endif()
            endforeach()
        endif()
        get_target_property(links ${t} LINK_LIBRARIES)
        if(links AND "pffft" IN_LIST links)
            set(uses_pffft 1)
        endif()
    endforeach()
    string(APPEND lines "pffft ${uses_pffft}\n")
    file(WRITE "${SPECTRO_EXTERNALS_DIR}/manifest/${name}.txt" "${lines}")
endfunction()
