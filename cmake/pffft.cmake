# PFFFT (Julien Pommier's single-precision FFT), taken from the C sources that
# the npm package @echogarden/pffft-wasm ships.  `./run setup` installs it.
set(PFFFT_DIR "${CMAKE_SOURCE_DIR}/deps/node_modules/@echogarden/pffft-wasm/src")
if(NOT EXISTS "${PFFFT_DIR}/pffft.c")
    message(FATAL_ERROR
        "PFFFT sources not found in ${PFFFT_DIR}.\n"
        "Run `./run setup` first: it installs the pinned npm packages of deps/.")
endif()
add_library(pffft STATIC "${PFFFT_DIR}/pffft.c")
target_include_directories(pffft SYSTEM PUBLIC "${PFFFT_DIR}")
target_compile_options(pffft PRIVATE -O3 -msse2 -w)
target_link_libraries(pffft PUBLIC m)
