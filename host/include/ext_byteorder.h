// Byte order and four-character codes.
#pragma once

#if defined(__BYTE_ORDER__) && (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
#define C74_LITTLE_ENDIAN 1
#define C74_BIG_ENDIAN 0
#elif defined(_WIN32)
#define C74_LITTLE_ENDIAN 1
#define C74_BIG_ENDIAN 0
#else
#define C74_LITTLE_ENDIAN 0
#define C74_BIG_ENDIAN 1
#endif

#if C74_LITTLE_ENDIAN
#define C74_FOUR_CHAR_CODE(x) (x)
#else
#define C74_FOUR_CHAR_CODE(x) \
    (((unsigned long)(x) << 24) | (((unsigned long)(x) << 8) & 0xff0000) | \
     (((unsigned long)(x) >> 8) & 0xff00) | ((unsigned long)(x) >> 24))
#endif

#ifndef FOUR_CHAR_CODE
#define FOUR_CHAR_CODE(x) C74_FOUR_CHAR_CODE(x)
#endif
