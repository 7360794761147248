// Fuzz target: the patch loader.  Each input is a patch file: loaded,
// loadbang fired, the event queue run, the invariants of any spectrogram~
// in it checked, and the patch freed.
#include "fuzz_host.h"
#include "patchhost.h"

#include <cstdint>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzz::setup() + "/input.maxpat";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write((const char *)data, (std::streamsize)size);
    std::string err;
    t_object *patcher = patchhost::patch_load(path, &err);
    if (patcher) {
        patchhost::patch_loadbang(patcher);
        maxhost::pump();
        fuzz::check_invariants(patcher);
        maxhost::patcher_free(patcher);
        maxhost::pump();
    }
    return 0;
}
