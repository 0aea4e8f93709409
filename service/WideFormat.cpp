#include "service/WideFormat.h"

namespace {

class Sink {
public:
  Sink(char16_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
  void put(char16_t c) {
    if (out_ && length_ + 1 < capacity_) out_[length_] = c;
    ++length_;
  }
  void finish() {
    if (!out_ || capacity_ == 0) return;
    out_[length_ < capacity_ ? length_ : capacity_ - 1] = 0;
  }
  size_t length() const { return length_; }

private:
  char16_t* out_;
  size_t capacity_;
  size_t length_ = 0;
};

void putNumber(Sink& sink, unsigned long long value, bool negative, unsigned width) {
  char digits[24];
  unsigned n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (negative) sink.put(u'-');
  for (unsigned i = n; i < width; ++i) sink.put(u'0');
  while (n > 0) sink.put(static_cast<char16_t>(digits[--n]));
}

}  // namespace

size_t wideFormatV(char16_t* out, size_t capacity, const char16_t* format, va_list args) {
  Sink sink(out, capacity);
  for (const char16_t* p = format; p && *p; ++p) {
    if (*p != u'%') {
      sink.put(*p);
      continue;
    }
    const char16_t* start = p;
    ++p;
    unsigned width = 0;
    if (*p == u'0' && p[1] >= u'1' && p[1] <= u'9') {
      width = static_cast<unsigned>(p[1] - u'0');
      p += 2;
    }
    if (*p == u'%') {
      sink.put(u'%');
    } else if (*p == u's') {
      const char16_t* text = va_arg(args, const char16_t*);
      for (; text && *text; ++text) sink.put(*text);
    } else if (*p == u'h' && p[1] == u's') {
      ++p;
      const char* text = va_arg(args, const char*);
      for (; text && *text; ++text) sink.put(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    } else if (*p == u'u') {
      putNumber(sink, va_arg(args, unsigned), false, width);
    } else if (*p == u'd') {
      const long long value = va_arg(args, int);
      putNumber(sink, static_cast<unsigned long long>(value < 0 ? -value : value), value < 0, width);
    } else {
      // Not a conversion of ours: copy it unchanged.
      for (const char16_t* q = start; q < p; ++q) sink.put(*q);
      if (*p == 0) break;
      sink.put(*p);
    }
  }
  sink.finish();
  return sink.length();
}

size_t wideFormat(char16_t* out, size_t capacity, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  const size_t length = wideFormatV(out, capacity, format, args);
  va_end(args);
  return length;
}

size_t wideLength(const char16_t* text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  return n;
}

size_t wideCopy(char16_t* out, size_t capacity, const char16_t* text) {
  if (!out || capacity == 0) return 0;
  size_t n = 0;
  for (; text && text[n] && n + 1 < capacity; ++n) out[n] = text[n];
  out[n] = 0;
  return n;
}

bool wideEquals(const char16_t* a, const char16_t* b) {
  if (!a || !b) return a == b;
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

std::string wideToUtf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p && *p; ++p) {
    uint32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(p[1]) - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string utf8ToWide(const char* text) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (p && *p) {
    uint32_t c = *p;
    int extra = 0;
    if (c < 0x80) {
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      c &= 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      c &= 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      c &= 0x07;
      extra = 3;
    } else {
      out += u'\xFFFD';
      ++p;
      continue;
    }
    ++p;
    bool valid = true;
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      c = (c << 6) | (*p & 0x3F);
      ++p;
    }
    if (!valid || c > 0x10FFFF) {
      out += u'\xFFFD';
    } else if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}
