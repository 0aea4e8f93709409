// The POSIX registry hive: a tree of keys with typed values, in memory and
// optionally persisted to a file, with the Win32 registry's codes.
//
// Key and value names compare case-insensitively (ASCII and Latin-1 letters)
// and keep the spelling they were created with. A key handle is a heap record
// naming a node; the predefined roots are the Win32 constants. A deleted key
// stays valid for the handles still open on it, whose operations then answer
// 1018 (key deleted). Access rights are checked for value operations only
// (query needs KEY_QUERY_VALUE, set and delete need KEY_SET_VALUE).
//
// Backing file: one text file, rewritten (to a temporary name, then renamed)
// after every change. Lines: "K <path>" opens a key by its full path from
// the root ("HKEY_LOCAL_MACHINE\Software\..."), "V <name> <type> <hex data>"
// adds a value to the key of the last K line. Names are UTF-8 with bytes at
// or below the space, '%', '\', '@' and above 0x7E written as %XX; the
// default value's empty name is written "@".
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/WnRegistryKey.h"
#include "platform/detail/WnBackend.h"

namespace {

constexpr uint32_t kKeyDeleted = 1018;
constexpr uint32_t kQueryValue = 0x0001;
constexpr uint32_t kSetValue = 0x0002;

std::u16string fold(const std::u16string& s) {
  std::u16string r = s;
  for (char16_t& c : r) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c = static_cast<char16_t>(c + 32);
  }
  return r;
}

struct Value {
  std::u16string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct Node {
  std::u16string name;
  std::map<std::u16string, std::shared_ptr<Node>> children;  // by folded name
  std::map<std::u16string, Value> values;                     // by folded name
  bool deleted = false;
};

struct KeyHandle {
  std::shared_ptr<Node> node;
  uint32_t access;
};

const char16_t* const kRootNames[3] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE"};

struct Hive {
  std::mutex m;
  std::shared_ptr<Node> roots[3];
  std::unordered_set<KeyHandle*> handles;
  std::string backingFile;
  Hive() {
    for (int i = 0; i < 3; ++i) {
      roots[i] = std::make_shared<Node>();
      roots[i]->name = kRootNames[i];
    }
  }
};

Hive& hive() {
  static Hive* h = new Hive;  // never destroyed (used until the process ends)
  return *h;
}

int rootIndex(WnRegKey k) {
  auto v = reinterpret_cast<uintptr_t>(k);
  if (v >= 0x80000000u && v <= 0x80000002u) return static_cast<int>(v - 0x80000000u);
  return -1;
}

uint32_t mapAccess(uint32_t access) {
  if (access & 0x80000000u) access |= WN_KEY_READ;        // GENERIC_READ
  if (access & 0x40000000u) access |= WN_KEY_WRITE;       // GENERIC_WRITE
  if (access & 0x10000000u) access |= WN_KEY_ALL_ACCESS;  // GENERIC_ALL
  if (access & 0x02000000u) access |= WN_KEY_ALL_ACCESS;  // MAXIMUM_ALLOWED
  return access;
}

// The node and access of a key handle, or null.
std::shared_ptr<Node> resolveLocked(WnRegKey k, uint32_t* access) {
  int r = rootIndex(k);
  if (r >= 0) {
    if (access) *access = WN_KEY_ALL_ACCESS;
    return hive().roots[r];
  }
  auto* h = static_cast<KeyHandle*>(k);
  if (!h || !hive().handles.count(h)) return nullptr;
  if (access) *access = h->access;
  return h->node;
}

std::vector<std::u16string> splitPath(const char16_t* subKey) {
  std::vector<std::u16string> parts;
  if (!subKey) return parts;
  std::u16string cur;
  for (const char16_t* p = subKey; *p; ++p) {
    if (*p == u'\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(*p);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

void markDeleted(Node& n) {
  n.deleted = true;
  for (auto& [_, c] : n.children) markDeleted(*c);
}

// ---- persistence ----

std::string toUtf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string fromUtf8(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    uint32_t c;
    int extra;
    if (b < 0x80) {
      c = b;
      extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      extra = 2;
    } else {
      c = b & 0x07;
      extra = 3;
    }
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i) c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string escapeName(const std::u16string& name, bool keepBackslash) {
  if (name.empty()) return "@";
  std::string u = toUtf8(name), out;
  for (unsigned char b : u) {
    if (b <= 0x20 || b == '%' || b == '@' || b >= 0x7F || (b == '\\' && !keepBackslash)) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", b);
      out += buf;
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unescapeName(const std::string& s, std::u16string* out) {
  if (s == "@") {
    out->clear();
    return true;
  }
  std::string u;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      if (i + 2 >= s.size()) return false;
      int h = hexDigit(s[i + 1]), l = hexDigit(s[i + 2]);
      if (h < 0 || l < 0) return false;
      u.push_back(static_cast<char>(h * 16 + l));
      i += 2;
    } else {
      u.push_back(s[i]);
    }
  }
  *out = fromUtf8(u);
  return true;
}

void writeNode(std::ostream& os, const Node& n, const std::string& path) {
  os << "K " << path << "\n";
  for (const auto& [_, v] : n.values) {
    os << "V " << escapeName(v.name, false) << " " << v.type << " ";
    if (v.data.empty()) os << "-";
    static const char* hex = "0123456789abcdef";
    for (uint8_t b : v.data) os << hex[b >> 4] << hex[b & 15];
    os << "\n";
  }
  for (const auto& [_, c] : n.children) writeNode(os, *c, path + "\\" + escapeName(c->name, false));
}

void saveLocked() {
  Hive& h = hive();
  if (h.backingFile.empty()) return;
  std::string tmp = h.backingFile + ".tmp";
  {
    std::ofstream os(tmp, std::ios::trunc);
    if (!os) return;
    os << "TOVIX8-REGISTRY 1\n";
    for (const auto& r : h.roots) writeNode(os, *r, escapeName(r->name, false));
    if (!os.flush()) return;
  }
  std::rename(tmp.c_str(), h.backingFile.c_str());
}

bool loadFile(const std::string& path, std::shared_ptr<Node> roots[3], bool* missing) {
  *missing = false;
  std::ifstream is(path);
  if (!is) {
    *missing = true;
    return true;
  }
  std::string line;
  if (!std::getline(is, line) || line != "TOVIX8-REGISTRY 1") return false;
  Node* cur = nullptr;
  while (std::getline(is, line)) {
    if (line.empty()) continue;
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    if (tag == "K") {
      std::string p;
      ls >> p;
      std::vector<std::u16string> parts;
      size_t start = 0;
      for (;;) {
        size_t pos = p.find('\\', start);
        std::u16string part;
        if (!unescapeName(p.substr(start, pos == std::string::npos ? std::string::npos : pos - start), &part))
          return false;
        parts.push_back(part);
        if (pos == std::string::npos) break;
        start = pos + 1;
      }
      int r = -1;
      for (int i = 0; i < 3; ++i)
        if (fold(parts[0]) == fold(kRootNames[i])) r = i;
      if (r < 0) return false;
      cur = roots[r].get();
      for (size_t i = 1; i < parts.size(); ++i) {
        auto& slot = cur->children[fold(parts[i])];
        if (!slot) {
          slot = std::make_shared<Node>();
          slot->name = parts[i];
        }
        cur = slot.get();
      }
    } else if (tag == "V") {
      if (!cur) return false;
      std::string name, hex;
      uint32_t type = 0;
      if (!(ls >> name >> type >> hex)) return false;
      Value v;
      if (!unescapeName(name, &v.name)) return false;
      v.type = type;
      if (hex != "-") {
        if (hex.size() % 2) return false;
        for (size_t i = 0; i < hex.size(); i += 2) {
          int a = hexDigit(hex[i]), b = hexDigit(hex[i + 1]);
          if (a < 0 || b < 0) return false;
          v.data.push_back(static_cast<uint8_t>(a * 16 + b));
        }
      }
      cur->values[fold(v.name)] = std::move(v);
    } else {
      return false;
    }
  }
  return true;
}

// Replaces the hive's contents; open handles keep their (now deleted) nodes.
void replaceRootsLocked(std::shared_ptr<Node> fresh[3]) {
  Hive& h = hive();
  for (int i = 0; i < 3; ++i) {
    for (auto& [_, c] : h.roots[i]->children) markDeleted(*c);
    h.roots[i]->children = std::move(fresh[i]->children);
    h.roots[i]->values = std::move(fresh[i]->values);
  }
}

uint32_t openOrCreate(WnRegKey parent, const char16_t* subKey, uint32_t access, bool create, WnRegKey* out) {
  if (!out) return WN_ERROR_INVALID_PARAMETER;
  *out = nullptr;
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  std::shared_ptr<Node> node = resolveLocked(parent, nullptr);
  if (!node) return WN_ERROR_INVALID_HANDLE;
  if (node->deleted) return kKeyDeleted;
  bool changed = false;
  for (const std::u16string& part : splitPath(subKey)) {
    auto it = node->children.find(fold(part));
    if (it == node->children.end()) {
      if (!create) return WN_ERROR_FILE_NOT_FOUND;
      auto child = std::make_shared<Node>();
      child->name = part;
      node->children.emplace(fold(part), child);
      node = child;
      changed = true;
    } else {
      node = it->second;
    }
  }
  auto* kh = new KeyHandle{node, mapAccess(access)};
  h.handles.insert(kh);
  *out = kh;
  if (changed) saveLocked();
  return 0;
}

}  // namespace

WnRegKey wnHkeyClassesRoot() { return reinterpret_cast<WnRegKey>(uintptr_t{0x80000000u}); }
WnRegKey wnHkeyCurrentUser() { return reinterpret_cast<WnRegKey>(uintptr_t{0x80000001u}); }
WnRegKey wnHkeyLocalMachine() { return reinterpret_cast<WnRegKey>(uintptr_t{0x80000002u}); }

uint32_t wnRegistrySetBackingFile(const char* path) {
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  if (!path || !*path) {
    h.backingFile.clear();
    return 0;
  }
  std::shared_ptr<Node> fresh[3];
  for (int i = 0; i < 3; ++i) {
    fresh[i] = std::make_shared<Node>();
    fresh[i]->name = kRootNames[i];
  }
  bool missing = false;
  if (!loadFile(path, fresh, &missing)) return WN_ERROR_BAD_FORMAT;
  replaceRootsLocked(fresh);
  h.backingFile = path;
  if (missing) saveLocked();
  return 0;
}

void wnRegistryClear() {
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  std::shared_ptr<Node> fresh[3];
  for (auto& f : fresh) f = std::make_shared<Node>();
  replaceRootsLocked(fresh);
  saveLocked();
}

namespace wn::detail {

uint32_t regCreateKey(WnRegKey parent, const char16_t* subKey, uint32_t access, WnRegKey* out) {
  return openOrCreate(parent, subKey, access, true, out);
}

uint32_t regOpenKey(WnRegKey parent, const char16_t* subKey, uint32_t access, WnRegKey* out) {
  return openOrCreate(parent, subKey, access, false, out);
}

uint32_t regQueryValue(WnRegKey key, const char16_t* name, uint32_t* type, void* data, uint32_t* size) {
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  uint32_t access = 0;
  std::shared_ptr<Node> node = resolveLocked(key, &access);
  if (!node) return WN_ERROR_INVALID_HANDLE;
  if (node->deleted) return kKeyDeleted;
  if (!(access & kQueryValue)) return WN_ERROR_ACCESS_DENIED;
  if (data && !size) return WN_ERROR_INVALID_PARAMETER;
  auto it = node->values.find(fold(name ? name : u""));
  if (it == node->values.end()) return WN_ERROR_FILE_NOT_FOUND;
  const Value& v = it->second;
  if (type) *type = v.type;
  if (!size) return 0;
  const auto n = static_cast<uint32_t>(v.data.size());
  if (data && *size < n) {
    *size = n;
    return WN_ERROR_MORE_DATA;
  }
  if (data && n) std::memcpy(data, v.data.data(), n);
  *size = n;
  return 0;
}

uint32_t regSetValue(WnRegKey key, const char16_t* name, uint32_t type, const void* data, uint32_t size) {
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  uint32_t access = 0;
  std::shared_ptr<Node> node = resolveLocked(key, &access);
  if (!node) return WN_ERROR_INVALID_HANDLE;
  if (node->deleted) return kKeyDeleted;
  if (!(access & kSetValue)) return WN_ERROR_ACCESS_DENIED;
  std::u16string n = name ? name : u"";
  Value& v = node->values[fold(n)];
  if (v.name.empty()) v.name = n;  // keeps the first spelling, as Win32 does
  v.type = type;
  const auto* p = static_cast<const uint8_t*>(data);
  v.data.assign(p, p + (p ? size : 0));
  saveLocked();
  return 0;
}

uint32_t regDeleteValue(WnRegKey key, const char16_t* name) {
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  uint32_t access = 0;
  std::shared_ptr<Node> node = resolveLocked(key, &access);
  if (!node) return WN_ERROR_INVALID_HANDLE;
  if (node->deleted) return kKeyDeleted;
  if (!(access & kSetValue)) return WN_ERROR_ACCESS_DENIED;
  if (!node->values.erase(fold(name ? name : u""))) return WN_ERROR_FILE_NOT_FOUND;
  saveLocked();
  return 0;
}

uint32_t regDeleteKey(WnRegKey key, const char16_t* subKey) {
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  std::shared_ptr<Node> node = resolveLocked(key, nullptr);
  if (!node) return WN_ERROR_INVALID_HANDLE;
  if (node->deleted) return kKeyDeleted;
  std::vector<std::u16string> parts = splitPath(subKey);
  if (parts.empty()) return WN_ERROR_INVALID_PARAMETER;
  Node* parent = node.get();
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = parent->children.find(fold(parts[i]));
    if (it == parent->children.end()) return WN_ERROR_FILE_NOT_FOUND;
    parent = it->second.get();
  }
  auto it = parent->children.find(fold(parts.back()));
  if (it == parent->children.end()) return WN_ERROR_FILE_NOT_FOUND;
  if (!it->second->children.empty()) return WN_ERROR_ACCESS_DENIED;  // as RegDeleteKeyW
  it->second->deleted = true;
  parent->children.erase(it);
  saveLocked();
  return 0;
}

uint32_t regCloseKey(WnRegKey key) {
  if (rootIndex(key) >= 0) return 0;
  Hive& h = hive();
  std::lock_guard<std::mutex> lk(h.m);
  auto* kh = static_cast<KeyHandle*>(key);
  if (!kh || !h.handles.erase(kh)) return WN_ERROR_INVALID_HANDLE;
  delete kh;
  return 0;
}

}  // namespace wn::detail
