// Common symbols.  This host interns names on demand with gensym(); the
// C74_USE_COMMON_SYMBOLS table is not provided.
#pragma once

#include "ext_mess.h"
