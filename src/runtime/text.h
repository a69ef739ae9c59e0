// Small text helpers: decimal formatting and parsing, exact comparison and
// bounded copying. No allocation: the formatters write into a caller's array.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Large enough for the decimal text of any 64-bit value with its sign and terminator.
constexpr size_t DECIMAL_TEXT_SIZE = 24;

// Signed decimal text ("%ld" style: minus sign, no leading zeros, no grouping).
// Returns the number of characters written, terminator excluded.
size_t FormatSigned(int64_t value, char (&out)[DECIMAL_TEXT_SIZE]);
// Unsigned decimal text.
size_t FormatUnsigned(uint64_t value, char (&out)[DECIMAL_TEXT_SIZE]);

// Reads a decimal number the way the process list writes one: leading spaces
// (only spaces) skipped, then an optional '-' or '+', then the run of digits
// up to the first other character; no digits give 0. The arithmetic wraps
// modulo 2^32, and a negative number is negated in two's complement.
int32_t ParseDecimal(const char* text);

// Exact, whole, case-sensitive comparison; a null text equals only a null text.
bool TextEquals(const char* a, const char* b);

// Copies at most size - 1 bytes of text into out and terminates it (size > 0); a
// text cut short is cut before a whole character (WholeCharactersLength). Returns
// the number of bytes copied.
size_t CopyText(char* out, size_t size, const char* text);
// As CopyText, but a text that does not fit ends with "..." to say that it was cut
// (size > 4): what fits of it is cut before a whole character to make room.
size_t CopyTextMarkingCut(char* out, size_t size, const char* text);
// The length of the first length bytes of text without a character that they hold
// only in part, in the ANSI code page that the process runs with: in UTF-8 (a
// program that declares it) a letter is up to four bytes, in a double-byte code
// page (Japanese, Chinese, Korean) up to two, and a cut inside one would leave a
// broken letter. In a single-byte code page, length itself.
size_t WholeCharactersLength(const char* text, size_t length);
// The same in the given code page.
size_t WholeCharactersLength(const char* text, size_t length, unsigned codePage);
// The last component of a path in the ANSI code page: what follows its last
// backslash, or the whole path. The path is read by whole letters from its start,
// since in a double-byte code page a letter's trail byte can be 0x5C, the
// backslash's byte. Points into path.
const char* PathLastPart(const char* path);
// The same in the given code page.
const char* PathLastPart(const char* path, unsigned codePage);

// Length of text, but at most limit; 0 for a null text.
size_t TextLength(const char* text, size_t limit);
// Length of text; 0 for a null text.
size_t TextLength(const char* text);
// The first occurrence of c in text; null when there is none.
char* FindCharacter(char* text, char c);
