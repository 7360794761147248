// The main SDK header: everything a plug-in needs except the graphics, buffer,
// critical-region and parallel-task headers, which are included separately.
#pragma once

#include "ext_prefix.h"
#include "ext_common.h"
#include "max_types.h"
#include "ext_mess.h"
#include "ext_maxtypes.h"
#include "ext_byteorder.h"
#include "ext_sysmem.h"
#include "ext_proto.h"
#include "ext_post.h"
#include "ext_path.h"
#include "ext_assist.h"
#include "ext_dictionary.h"
#include "ext_obex.h"
#include "ext_obex_util.h"
#include "commonsyms.h"
#include "jpatcher_api.h"

BEGIN_USING_C_LINKAGE
void C74_EXPORT ext_main(void *r);
END_USING_C_LINKAGE
