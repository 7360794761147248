// Linkage, export and layout helpers shared by every SDK header.
#pragma once

#include "ext_prefix.h"

#ifdef __cplusplus
#define BEGIN_USING_C_LINKAGE extern "C" {
#define END_USING_C_LINKAGE }
#else
#define BEGIN_USING_C_LINKAGE
#define END_USING_C_LINKAGE
#endif

#ifdef _WIN32
#define C74_EXPORT __declspec(dllexport)
#define C74_HIDDEN
#else
#define C74_EXPORT __attribute__((visibility("default")))
#define C74_HIDDEN __attribute__((visibility("hidden")))
#endif

#ifndef C74_NO_CONST
#define C74_CONST const
#else
#define C74_CONST
#endif

#define calcoffset(x, y) offsetof(x, y)
#define structmembersize(structname, membername) (sizeof(((structname *)0)->membername))

#if defined(_DEBUG) || (defined(C74_ENABLE_STATIC_ASSERT) && C74_ENABLE_STATIC_ASSERT)
#ifdef __cplusplus
#define C74_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define C74_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#else
#define C74_STATIC_ASSERT(cond, msg)
#endif

#define C74_PRAGMA_STRUCT_PACKPUSH 0
#define C74_PRAGMA_STRUCT_PACK 0
#define C74_STRUCT_PACK_SIZE 4
