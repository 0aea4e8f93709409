// Formatting of the service's UTF-16 texts (names sent to the driver,
// console lines, event-log texts) without the C library's wide functions,
// whose character type differs between the two platforms.
//
// Supported conversions: %s (const char16_t*, null prints nothing), %hs
// (const char*), %u (unsigned), %d (int), a zero-padded width of one digit
// for %u and %d (%02d), and %%. Anything else is copied as it stands.
//
// Threading: pure functions.
//
//   char16_t name[41];
//   wideFormat(name, 41, u"Tovix8 Out %u/%u", 1u, 2u);
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Writes at most capacity - 1 characters and a terminating zero (nothing
// when capacity is 0); returns the length of the full text.
size_t wideFormat(char16_t* out, size_t capacity, const char16_t* format, ...);
size_t wideFormatV(char16_t* out, size_t capacity, const char16_t* format, va_list args);

// Length of a zero-terminated UTF-16 text (0 for null).
size_t wideLength(const char16_t* text);
// Copies at most capacity - 1 characters and terminates; returns the length copied.
size_t wideCopy(char16_t* out, size_t capacity, const char16_t* text);
// Compares two zero-terminated texts exactly (null equals only null).
bool wideEquals(const char16_t* a, const char16_t* b);
// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD), for consoles and logs.
std::string wideToUtf8(const char16_t* text);
// UTF-8 to UTF-16 (invalid bytes become U+FFFD), for command-line arguments.
std::u16string utf8ToWide(const char* text);
