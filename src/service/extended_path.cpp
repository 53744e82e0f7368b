#include "service/extended_path.h"

#include <vector>

namespace {

bool starts_with(const WideString& text, const char16_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool is_drive_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool has_drive(const WideString& path) {
  return path.size() >= 2 && is_drive_letter(path[0]) && path[1] == u':';
}

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// The plain form of a directory the system may itself hand out prefixed.
WideString without_prefix(const WideString& path) {
  if (starts_with(path, u"\\\\?\\UNC\\")) return u"\\" + path.substr(7);
  if (starts_with(path, u"\\\\?\\")) return path.substr(4);
  return path;
}

// "X:\..." or "\\server\share..." with backslashes only.
bool is_absolute(const WideString& path) {
  return (has_drive(path) && path.size() >= 3 && path[2] == u'\\') || starts_with(path, u"\\\\");
}

// Splits an absolute path into its root, in prefixed form, and the rest.
void split_root(const WideString& path, WideString& root, WideString& rest) {
  if (has_drive(path)) {
    root = u"\\\\?\\" + path.substr(0, 2);
    rest = path.substr(2);
    return;
  }
  // "\\server\share": both names belong to the root; ".." never climbs past it.
  std::size_t end = path.find(u'\\', 2);
  if (end != WideString::npos) end = path.find(u'\\', end + 1);
  if (end == WideString::npos) end = path.size();
  root = u"\\\\?\\UNC\\" + path.substr(2, end - 2);
  rest = path.substr(end);
}

// The root of an absolute plain path: "X:" or "\\server\share".
WideString plain_root(const WideString& path) {
  if (has_drive(path)) return path.substr(0, 2);
  std::size_t end = path.find(u'\\', 2);
  if (end != WideString::npos) end = path.find(u'\\', end + 1);
  return path.substr(0, end);
}

}  // namespace

WideString extended_length_path(const WideString& path, const WideString& current_directory) {
  if (starts_with(path, u"\\\\?\\") || starts_with(path, u"\\\\.\\") ||
      starts_with(path, u"\\??\\")) {
    return path;
  }
  WideString absolute = path;
  for (char16_t& c : absolute) {
    if (c == u'/') c = u'\\';
  }
  if (!is_absolute(absolute)) {
    WideString current = without_prefix(current_directory);
    for (char16_t& c : current) {
      if (c == u'/') c = u'\\';
    }
    if (!is_absolute(current)) return path;
    if (has_drive(absolute)) {
      // "X:name": against the current directory when it is on that drive,
      // else against the drive's root (the system keeps no other per-drive
      // directory for this process).
      const bool same_drive = has_drive(current) && upper(current[0]) == upper(absolute[0]);
      absolute = (same_drive ? current : absolute.substr(0, 2)) + u"\\" + absolute.substr(2);
    } else if (!absolute.empty() && absolute[0] == u'\\') {
      absolute = plain_root(current) + absolute;
    } else {
      absolute = current + u"\\" + absolute;
    }
  }

  WideString root;
  WideString rest;
  split_root(absolute, root, rest);
  std::vector<WideString> parts;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find(u'\\', start);
    if (end == WideString::npos) end = rest.size();
    WideString part = rest.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  WideString result = root;
  for (const WideString& part : parts) result += u"\\" + part;
  if (parts.empty()) result += u'\\';
  return result;
}
