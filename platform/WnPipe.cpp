// The portable part of the pipes: the path of a pipe name.
#include "platform/WnPipe.h"

bool wnFormatPipePath(const char16_t* name, char16_t (&out)[WN_PIPE_NAME_CHARS]) {
  out[0] = 0;
  if (!name || !name[0]) return false;
  static constexpr char16_t prefix[] = u"\\\\.\\pipe\\";
  size_t n = 0;
  const bool hasPrefix = name[0] == u'\\' && name[1] == u'\\';
  if (!hasPrefix)
    for (const char16_t* p = prefix; *p; ++p) out[n++] = *p;
  for (const char16_t* p = name; *p; ++p) {
    if (n + 1 >= WN_PIPE_NAME_CHARS) {
      out[0] = 0;
      return false;
    }
    out[n++] = *p;
  }
  out[n] = 0;
  return true;
}
