// Opaque patcher-level types.
#pragma once

#include "ext_mess.h"

typedef t_object t_patcher;
typedef t_object t_box;
