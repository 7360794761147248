// Memory from the host heap.  Any thread may call these.
#pragma once

#include "max_types.h"

BEGIN_USING_C_LINKAGE
t_ptr sysmem_newptr(t_ptr_size size);
t_ptr sysmem_newptrclear(t_ptr_size size);
void sysmem_freeptr(void *ptr);
END_USING_C_LINKAGE

#define getbytes(size) ((char *)sysmem_newptr(size))
#define freebytes(ptr, size) sysmem_freeptr(ptr)
