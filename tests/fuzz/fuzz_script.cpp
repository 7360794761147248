// Fuzz target: the script parser and, through it, every message, attribute
// and mouse gesture a script can send to the linked views and the colour bar
// of a patch holding a recording.  Each input is a script; its lines run in
// turn (a line the parser refuses is skipped), then the invariants are
// checked.  The patch persists from input to input with its recording and
// views reset, so that state a gesture leaves behind meets the next input.
#include "fuzz_host.h"
#include "patchhost.h"

#include <cstdint>
#include <cstdio>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static t_object *patcher = nullptr;
    static patchhost::Transcript transcript;
    if (!patcher) {
        fuzz::setup();
        transcript.out = fopen("/dev/null", "w");
        patchhost::transcript_install_hooks(transcript);
        patcher = fuzz::linked_patch();
        fuzz::setup_outlet_check();
    }
    fuzz::reset_patch(patcher);
    patchhost::Runner runner{patcher, &transcript};
    std::istringstream in(std::string((const char *)data, size));
    std::string line;
    for (int lines = 0; std::getline(in, line) && lines < 64; lines++) {
        try {
            std::vector<patchhost::Word> words = patchhost::script_split(line);
            if (!words.empty())
                patchhost::script_command(runner, words);
        } catch (const patchhost::ScriptError &) {
        }
        maxhost::pump();
    }
    fuzz::check_invariants(patcher);
    return 0;
}
