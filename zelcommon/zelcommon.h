#pragma once
/* libzelcommon.so: path and string functions behind a C ABI.
 *
 * Strings are counted byte strings (they may hold NUL bytes and are never
 * re-encoded). Every string argument is a const ZcString * and is never changed
 * (APIFileExists takes a zero-terminated const char *). A null data pointer with
 * length 0 is the empty string, and so is a null ZcString * argument; a negative
 * length or a null data pointer with a positive length reads as empty too.
 * Every string result is a new ZcString owned by the caller, who releases it with
 * ZcFreeString; its data is followed by one NUL byte that is not counted, so a
 * result without inner NULs can be read as a C string. A result that cannot be
 * allocated, or would be longer than INT32_MAX bytes, is the empty string with a
 * null data pointer. Integer results are int16_t, 1 for true and 0 for false.
 *
 * The path separator is "/". Positions are 1-based; "the last dot" is the last
 * "." anywhere in the string, separators not considered. A letter is A-Z or a-z
 * unless a function says otherwise; a space is the byte 0x20 only.
 *
 * No function keeps state between calls; all may be called from any thread.
 */

#include <stdint.h>

#if defined(ZELCOMMON_BUILDING)
#define ZC_EXPORT __attribute__((visibility("default")))
#else
#define ZC_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZcString
{
    char* data;
    int32_t length;
} ZcString; /* counted bytes; may hold NUL */

/* Releases a result string; a null data pointer is ignored. */
ZC_EXPORT void ZcFreeString(ZcString s);

/* Library entry point kept for callers that announce attach and detach: 1 for
 * reason codes 0 to 3, else 0. Nothing depends on it being called. */
ZC_EXPORT int32_t LIBMAIN(void* instance, uint32_t reason, void* reserved);

/* Position of the first "/" or "\" at or after `start` (at least 1); 0 when there
 * is none, when `start` is below 1 or beyond the length, or when the position
 * does not fit in an int16_t. */
ZC_EXPORT int16_t GetNextSlashPos(const ZcString* path, int16_t start);

/* Everything after the last "/" ("" when the path ends in "/"); the path itself
 * when it holds no "/". */
ZC_EXPORT ZcString GetLastItemInPath(const ZcString* path);

/* Appends one "/" when the last byte is not "/" and the length is above 2, or
 * when the path is exactly two bytes that end in ":" or begin with "/" ("/x" is
 * a folder at the top of the tree). Everything else is returned unchanged: "",
 * one-byte paths, other two-byte paths, and any path already ending in "/" (so
 * the root "/" stays "/"). */
ZC_EXPORT ZcString NormalizePath(const ZcString* path);

/* The part of `text` after the first occurrence of `delimiter` (case-sensitive);
 * "" when it does not occur, or when either argument is empty. */
ZC_EXPORT ZcString RemainingString(const ZcString* text, const ZcString* delimiter);

/* The part of `text` before the first occurrence of `delimiter`; `text`
 * unchanged when it does not occur or is empty. */
ZC_EXPORT ZcString ExtractString(const ZcString* text, const ZcString* delimiter);

/* `text` with every occurrence of `find` replaced, found left to right without
 * overlap and never rescanning inserted text; `text` unchanged when `find` or
 * `text` is empty. An empty `replacement` deletes the occurrences. */
ZC_EXPORT ZcString ReplaceString(const ZcString* text, const ZcString* find, const ZcString* replacement);

/* "" when `text` is empty or only spaces; otherwise A-Z and a-z swapped, every
 * other byte copied. */
ZC_EXPORT ZcString ToggleCase(const ZcString* text);

/* First letter of every word upper case, every other letter lower case. A word
 * starts at the beginning or after any byte that is not a letter. Letters here
 * also include seven code page 437 pairs (upper/lower): 8E/84, 99/94, 9A/81,
 * 90/82, A5/A4, 8F/86, 80/87; no other byte changes. */
ZC_EXPORT ZcString ProperCase(const ZcString* text);

/* `text` without any space, leading and trailing ones included. */
ZC_EXPORT ZcString RemoveInternalSpaces(const ZcString* text);

/* `text` up to, not including, its first NUL byte. */
ZC_EXPORT ZcString StripNull(const ZcString* text);

/* Everything after the last dot; "" when `name` is empty, only spaces, or has no dot. */
ZC_EXPORT ZcString GetFilenameExtension(const ZcString* name);

/* Everything before the last dot; "" when `name` is empty or only spaces; `name`
 * unchanged when it has no dot. */
ZC_EXPORT ZcString RemoveFilenameExtension(const ZcString* name);

/* `newBaseName`, followed by "." and the extension of `name` when that is not empty. */
ZC_EXPORT ZcString ReplaceFileName(const ZcString* name, const ZcString* newBaseName);

/* RemoveFilenameExtension(name) + "." + `newExtension`, always (an empty new
 * extension leaves a trailing "."). */
ZC_EXPORT ZcString ReplaceExtension(const ZcString* name, const ZcString* newExtension);

/* Base + `suffix`, then "." + extension when the extension is not empty. */
ZC_EXPORT ZcString AddSuffixToFileName(const ZcString* name, const ZcString* suffix);

/* Binary digits of `value` read as unsigned 32-bit, no leading zeros; "0" for 0. */
ZC_EXPORT ZcString ConvertLongToBinaryString(int32_t value);

/* Size text of a signed byte count given in fixed point (bytes x 10,000).
 * Below 1024 bytes: the exact count, a fractional part written with "." and
 * without trailing zeros, then " Bytes" ("512 Bytes", "0.5 Bytes"). From 1024
 * on, the count is divided by 1024 while the quotient is at least 1024, up to
 * TB, and written as a number directly followed by "KB", "MB", "GB" or "TB".
 * The number has "," between groups of three integer digits and at most two
 * decimals after ".", rounded exactly on the decimal digits with a remainder of
 * exactly one half going to the even digit (2.125 -> "2.12", 2.375 -> "2.38");
 * trailing zero decimals are dropped and so is a "." left without decimals
 * ("1KB", "1.5KB", "1,023.99KB"). The separators do not follow the locale.
 * A negative count gives the text of its absolute value with "-" in front. */
ZC_EXPORT ZcString ConvertBytesToCorrectByteTypeString(int64_t countTimes10000);

/* 1 when bit `bit` (0 = least significant) of `value` is set; 0 for a bit
 * number outside 0 to 31. */
ZC_EXPORT int16_t IsBitSet(int32_t value, int16_t bit);

/* Existence tests. They never open an entry for reading, never block on a FIFO,
 * and give 0 for a path that cannot be searched (missing folder, no access, a
 * name too long, a path holding a NUL byte). Hidden: the name begins with "."
 * ("." and ".." are never reported). System: neither a regular file, a
 * directory nor a symbolic link (FIFO, socket, device node).
 *
 * Searches take the last path component as a pattern: "*" matches any run of
 * bytes, "?" exactly one byte, every other byte itself (case-sensitive); a
 * pattern ending in ".*" also matches names that match it without the ".*", so
 * "*.*" matches every name. The folder part is taken literally ("." when the
 * path holds no "/"). */

/* 1 when a search for `path` finds an entry that is neither a directory, hidden
 * nor system (a symbolic link counts as a file and is not followed). A path
 * ending in "/" searches "*.*" in that folder. "" gives 0. */
ZC_EXPORT int16_t PBFileExists(const ZcString* path);

/* 1 when the folder `path` holds an entry that is neither hidden nor system
 * (files, folders and links all count); an empty folder gives 0. */
ZC_EXPORT int16_t PBFolderExists(const ZcString* path);

/* 1 when the zero-terminated `path` names an entry that is not a directory
 * (hidden and system entries included; a symbolic link is the entry itself,
 * dangling or not). Permissions on the entry are not examined. */
ZC_EXPORT int16_t APIFileExists(const char* path);

/* 1 when `path` followed by "/" resolves to a directory (a link to a directory
 * counts); an empty directory gives 1. */
ZC_EXPORT int16_t APIFolderExists(const ZcString* path);

#ifdef __cplusplus
}
#endif
