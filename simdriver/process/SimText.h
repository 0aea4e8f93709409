// Text helpers of the simulator's host: UTF-16 <-> UTF-8 for names and
// serials, number parsing for commands and the configuration file, and the
// quoting the dump uses for names.
//
// Threading: pure functions.
//
//   uint32_t v;
//   if (!simParseNumber("0x1E2D", v)) ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string simToUtf8(const std::u16string& text);
// A zero-terminated field of at most capacity characters.
std::string simToUtf8(const char16_t* text, size_t capacity);
// Decodes UTF-8 (an invalid sequence becomes U+FFFD).
std::u16string simFromUtf8(const std::string& text);
// Decimal, or hexadecimal with 0x; the whole text must be the number and fit.
bool simParseNumber(const std::string& text, uint32_t& value);
// Double quotes around the text; backslashes and quotes escaped, control
// characters as \xNN.
std::string simQuote(const std::string& text);
// Splits at blanks; "double quoted" words may contain blanks (backslash
// escapes a quote or a backslash inside). False for an unterminated quote.
bool simSplitWords(const std::string& line, std::vector<std::string>& words);
// Leading and trailing blanks removed.
std::string simTrim(const std::string& text);
// printf into a std::string.
std::string simFormat(const char* format, ...);
