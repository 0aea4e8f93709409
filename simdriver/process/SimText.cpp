#include "simdriver/process/SimText.h"

#include <cstdarg>
#include <cstdio>

std::string simToUtf8(const std::u16string& text) { return simToUtf8(text.c_str(), text.size() + 1); }

std::string simToUtf8(const char16_t* text, size_t capacity) {
  std::string out;
  for (size_t i = 0; i < capacity && text[i]; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < capacity && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
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

std::u16string simFromUtf8(const std::string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    uint32_t c = 0xFFFD;
    size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      n = 2;
    } else if ((b & 0xF0) == 0xE0) {
      n = 3;
    } else if ((b & 0xF8) == 0xF0) {
      n = 4;
    }
    if (n > 1) {
      bool ok = i + n <= text.size();
      uint32_t v = b & (0xFF >> (n + 1));
      for (size_t k = 1; ok && k < n; ++k) {
        const auto cont = static_cast<unsigned char>(text[i + k]);
        ok = (cont & 0xC0) == 0x80;
        v = (v << 6) | (cont & 0x3F);
      }
      if (ok) {
        c = v;
      } else {
        n = 1;
      }
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0xFFFF ? 0xFFFD : c);
    }
    i += n;
  }
  return out;
}

bool simParseNumber(const std::string& text, uint32_t& value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  size_t i = 0;
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return false;
  }
  value = static_cast<uint32_t>(v);
  return true;
}

std::string simQuote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += simFormat("\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    } else {
      out += c;
    }
  }
  return out + "\"";
}

bool simSplitWords(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n')) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size()) {
      const char c = line[i];
      if (quoted) {
        if (c == '\\' && i + 1 < line.size()) {
          word += line[i + 1];
          i += 2;
          continue;
        }
        if (c == '"') {
          quoted = false;
          ++i;
          continue;
        }
        word += c;
        ++i;
        continue;
      }
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') break;
      if (c == '"') {
        quoted = true;
        ++i;
        continue;
      }
      word += c;
      ++i;
    }
    if (quoted) return false;
    words.push_back(word);
  }
  return true;
}

std::string simTrim(const std::string& text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t' || text[b] == '\r' || text[b] == '\n')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r' || text[e - 1] == '\n')) --e;
  return text.substr(b, e - b);
}

std::string simFormat(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(out.data(), out.size(), format, args);
  va_end(args);
  out.resize(static_cast<size_t>(n));
  return out;
}
