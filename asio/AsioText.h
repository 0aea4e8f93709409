// Small text operations of the ASIO driver on fixed buffers (nothing
// allocates): wide lengths, copying and appending with truncation, narrowing
// wide text into the host's 8-bit buffers (each UTF-16 unit stored as its
// low byte), lower-casing, decimal formatting and the brace-enclosed string
// form of a GUID.
//
// Pure functions; safe on any thread.
//
//   char name[32];
//   asioNarrowCopy(u"Tovix8 ASIO Driver", name, 31);
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WnTypes.h"

inline size_t asioLength(const char16_t* s) {
  size_t n = 0;
  while (s && s[n]) ++n;
  return n;
}

// Copies at most capacity - 1 units and terminates (capacity 0: nothing).
inline void asioCopy(char16_t* out, size_t capacity, const char16_t* s) {
  if (!out || capacity == 0) return;
  size_t n = 0;
  for (; s && s[n] && n + 1 < capacity; ++n) out[n] = s[n];
  out[n] = 0;
}

// Appends as much of s as fits into the terminated text in out.
inline void asioAppend(char16_t* out, size_t capacity, const char16_t* s) {
  if (!out || capacity == 0) return;
  const size_t used = asioLength(out);
  if (used + 1 >= capacity) return;
  asioCopy(out + used, capacity - used, s);
}

// At most maxChars characters, then a terminating zero (out holds maxChars + 1).
inline void asioNarrowCopy(const char16_t* s, char* out, size_t maxChars) {
  if (!out) return;
  size_t n = 0;
  for (; s && s[n] && n < maxChars; ++n) out[n] = static_cast<char>(s[n] & 0xFF);
  out[n] = 0;
}

inline char16_t asioToLower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  // Latin-1 capitals (not the multiplication sign).
  if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return static_cast<char16_t>(c + 0x20);
  // Greek and Cyrillic capitals.
  if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);
  return c;
}

inline void asioLowerInPlace(char16_t* s) {
  for (; s && *s; ++s) *s = asioToLower(*s);
}

inline bool asioEqual(const char16_t* a, const char16_t* b) {
  size_t i = 0;
  for (; a[i] && a[i] == b[i]; ++i) {
  }
  return a[i] == b[i];
}

// Signed decimal text.
inline void asioFormatDecimal(int64_t value, char16_t* out, size_t capacity) {
  char16_t digits[24];
  size_t n = 0;
  const bool negative = value < 0;
  uint64_t v = negative ? uint64_t(0) - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + v % 10);
    v /= 10;
  } while (v);
  char16_t text[26];
  size_t k = 0;
  if (negative) text[k++] = u'-';
  while (n) text[k++] = digits[--n];
  text[k] = 0;
  asioCopy(out, capacity, text);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in capitals (39 units with the zero).
constexpr size_t kAsioGuidStringChars = 39;
inline void asioGuidToString(const WnGuid& g, char16_t* out, size_t capacity) {
  char16_t text[kAsioGuidStringChars];
  static constexpr char16_t hex[] = u"0123456789ABCDEF";
  size_t k = 0;
  auto put = [&](uint64_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) text[k++] = hex[(v >> (4 * i)) & 0xF];
  };
  text[k++] = u'{';
  put(g.data1, 8);
  text[k++] = u'-';
  put(g.data2, 4);
  text[k++] = u'-';
  put(g.data3, 4);
  text[k++] = u'-';
  put(g.data4[0], 2);
  put(g.data4[1], 2);
  text[k++] = u'-';
  for (int i = 2; i < 8; ++i) put(g.data4[i], 2);
  text[k++] = u'}';
  text[k] = 0;
  asioCopy(out, capacity, text);
}
