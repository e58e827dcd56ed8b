#pragma once
/* liblumbrel.so: character replacement behind a C ABI.
 *
 * Strings are counted byte strings (they may hold NUL bytes). Arguments are
 * never changed; a null LbString *, a null data pointer or a length of 0 or
 * less is the empty string. A result belongs to the caller, who releases it
 * with LbFreeString; its data is followed by one uncounted NUL byte. A result
 * that cannot be allocated is the empty string with a null data pointer.
 */

#include <stdint.h>

#if defined(LUMBREL_BUILDING)
#define LB_EXPORT __attribute__((visibility("default")))
#else
#define LB_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LbString
{
    char* data;
    int32_t length;
} LbString;

/* Releases a result string; a null data pointer is ignored. */
LB_EXPORT void LbFreeString(LbString s);

/* `text` with every byte that occurs in `chars` replaced by the byte at the same
 * position of `replacements`. When a byte is listed twice, its first position
 * counts; a listed byte whose position lies beyond the end of `replacements` is
 * left as it is. Bytes not listed are copied unchanged, so the result is always
 * as long as `text`. */
LB_EXPORT LbString ReplaceMultipleChars(const LbString* text, const LbString* chars,
                                        const LbString* replacements);

#ifdef __cplusplus
}
#endif
