// Shift modes named in messages: "move-replace", "copy-mix" and
// "copy-replace" (exact, case-sensitive); anything else is move-mix.
#include "specgram_edit.h"
#include "kernels.h"

#include <string.h>

int specgram_parse_shift_mode(const char *name)
{
    if (!name)
        return SPECEDIT_MOVE_MIX;
    if (!strcmp(name, "move-replace"))
        return SPECEDIT_MOVE_REPLACE;
    if (!strcmp(name, "copy-mix"))
        return SPECEDIT_COPY_MIX;
    if (!strcmp(name, "copy-replace"))
        return SPECEDIT_COPY_REPLACE;
    return SPECEDIT_MOVE_MIX;
}
