// Platform inference, as the SDK does it: Linux x86-64 builds are
// LINUX_VERSION with C74_X64.
#pragma once

#if defined(__linux__) && !defined(LINUX_VERSION)
#define LINUX_VERSION 1
#endif
#if (defined(__LP64__) || defined(_WIN64)) && !defined(C74_X64)
#define C74_X64 1
#endif

#include <stddef.h>
#include <stdint.h>
