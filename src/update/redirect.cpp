#include <algorithm>

#include "update/fetch.h"

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The scheme in lower case, or empty when the text has none.
Utf8String scheme_of(const Utf8String& url) {
  if (url.empty() || !is_alpha(url[0])) return {};
  for (std::size_t i = 0; i < url.size(); ++i) {
    const char c = url[i];
    if (c == ':') {
      Utf8String scheme;
      for (std::size_t j = 0; j < i; ++j) scheme += fold(url[j]);
      return scheme;
    }
    if (!is_alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

Utf8String trimmed(const Utf8String& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  return text.substr(first, last - first);
}

}  // namespace

Utf8String resolve_redirect(const Utf8String& from, const Utf8String& location_header) {
  const Utf8String location = trimmed(location_header);
  const Utf8String base_scheme = scheme_of(from);
  if (location.empty() || (base_scheme != "http" && base_scheme != "https")) return {};

  Utf8String target;
  const std::size_t authority = base_scheme.size() + 3;  // after "scheme://"
  const std::size_t path = from.find_first_of("/?#", authority);
  const Utf8String origin = from.substr(0, path);
  if (!scheme_of(location).empty()) {
    target = location;
  } else if (location.rfind("//", 0) == 0) {
    target = base_scheme + ":" + location;
  } else if (location[0] == '/') {
    target = origin + location;
  } else {
    // Relative to the directory of the current path (query and fragment cut).
    const std::size_t end = path == Utf8String::npos ? from.size() : from.find_first_of("?#", path);
    Utf8String current = path == Utf8String::npos ? Utf8String{} : from.substr(path, end - path);
    if (location[0] == '?' || location[0] == '#') {
      target = origin + (current.empty() ? "/" : current) + location;
    } else {
      const std::size_t slash = current.rfind('/');
      const Utf8String directory = slash == Utf8String::npos ? "/" : current.substr(0, slash + 1);
      target = origin + directory + location;
    }
  }

  const Utf8String scheme = scheme_of(target);
  if (scheme != "http" && scheme != "https") return {};
  if (base_scheme == "https" && scheme == "http") return {};
  return target;
}

bool is_loopback_url(const Utf8String& url) {
  const Utf8String scheme = scheme_of(url);
  if (scheme != "http" && scheme != "https") return false;
  const std::size_t start = scheme.size() + 1;
  if (url.compare(start, 2, "//") != 0) return false;
  const std::size_t host_start = start + 2;
  const std::size_t end = std::min(url.find_first_of("/?#", host_start), url.size());
  Utf8String authority;
  for (std::size_t i = host_start; i < end; ++i) authority += fold(url[i]);
  if (authority.find('@') != Utf8String::npos) return false;
  // The host, then an optional ":port" of digits.
  const std::size_t colon = authority.rfind(':');
  Utf8String host = authority;
  if (colon != Utf8String::npos && authority.find(']', colon) == Utf8String::npos) {
    const Utf8String port = authority.substr(colon + 1);
    if (port.empty() || port.find_first_not_of("0123456789") != Utf8String::npos) return false;
    host = authority.substr(0, colon);
  }
  return host == "127.0.0.1" || host == "localhost" || host == "[::1]";
}
