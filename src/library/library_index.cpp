#include "library/library_index.h"

#include <cctype>
#include <cstring>

#include "service/atomic_write.h"
#include "service/paths.h"
#include "service/version.h"
#include "text/json.h"

namespace {

// Bumped whenever the layout of the records changes. The service version
// sits beside it because another build may read files differently: its
// index is read afresh rather than trusted.
constexpr char kFormat[] = "tessavin-library-index 1 ";
constexpr char kChecksumLabel[] = "checksum ";
// Far above any real library (a million tracks of a few hundred bytes each);
// a bigger file is not an index this service wrote.
constexpr std::uint64_t kMaxIndexBytes = std::uint64_t{1} << 30;

std::uint64_t fnv1a(const char* data, std::size_t length) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 1099511628211ULL;
  }
  return hash;
}

Utf8String hex64(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  Utf8String text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

Utf8String header() { return Utf8String(kFormat) + kServiceVersion + "\n"; }

// Reads the bytes of `text` from `at` on, one field at a time; every read
// fails once anything is out of place, and `at` never passes the end.
struct Reader {
  const Utf8String& text;
  std::size_t at = 0;

  // A run of decimal digits ended by `end`, no larger than `limit`.
  bool number(std::uint64_t limit, char end, std::uint64_t& value) {
    value = 0;
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      const std::uint64_t digit = static_cast<std::uint64_t>(text[at] - '0');
      if (digit > limit || value > (limit - digit) / 10) return false;
      value = value * 10 + digit;
      ++at;
    }
    return at > start && literal(end);
  }
  bool signed_number(char end, std::int64_t& value) {
    const bool negative = at < text.size() && text[at] == '-';
    if (negative) ++at;
    std::uint64_t magnitude = 0;
    if (!number(static_cast<std::uint64_t>(INT64_MAX), end, magnitude)) return false;
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
  }
  bool literal(char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  }
  bool literal(const Utf8String& expected) {
    if (text.compare(at, expected.size(), expected) != 0) return false;
    at += expected.size();
    return true;
  }
  bool bytes(std::uint64_t length, Utf8String& out) {
    if (length > text.size() - at) return false;
    out.assign(text, at, static_cast<std::size_t>(length));
    at += static_cast<std::size_t>(length);
    return true;
  }
};

// A checker of JSON text over one value, kept to what the facts can hold;
// nothing is built from it. Depth is bounded so that no input runs the stack
// out.
struct JsonCheck {
  const Utf8String& text;
  std::size_t at = 0;

  bool peek(char c) const { return at < text.size() && text[at] == c; }
  bool take(char c) {
    if (!peek(c)) return false;
    ++at;
    return true;
  }
  void spaces() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
                                text[at] == '\r')) {
      ++at;
    }
  }
  bool word(const char* w) {
    const std::size_t n = std::strlen(w);
    if (text.compare(at, n, w) != 0) return false;
    at += n;
    return true;
  }
  bool digits() {
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at > start;
  }
  bool number() {
    take('-');
    if (!take('0') && !digits()) return false;
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    return true;
  }
  bool string() {
    if (!take('"')) return false;
    while (at < text.size()) {
      const unsigned char c = static_cast<unsigned char>(text[at++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (at >= text.size()) return false;
        const char e = text[at++];
        if (e == 'u') {
          for (int i = 0; i < 4; ++i, ++at) {
            if (at >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at]))) {
              return false;
            }
          }
        } else if (!std::strchr("\"\\/bfnrt", e) || e == '\0') {
          return false;
        }
      }
    }
    return false;
  }
  bool value(int depth) {
    if (depth > 32) return false;
    spaces();
    bool ok = false;
    if (peek('{')) {
      ok = object(depth);
    } else if (peek('[')) {
      ++at;
      spaces();
      ok = take(']');
      while (!ok) {
        if (!value(depth + 1)) return false;
        spaces();
        if (take(']')) break;
        if (!take(',')) return false;
      }
      ok = true;
    } else if (peek('"')) {
      ok = string();
    } else {
      ok = word("true") || word("false") || word("null") || number();
    }
    spaces();
    return ok;
  }
  bool object(int depth) {
    if (!take('{')) return false;
    spaces();
    if (take('}')) return true;
    for (;;) {
      spaces();
      if (!string()) return false;
      spaces();
      if (!take(':') || !value(depth + 1)) return false;
      if (take('}')) return true;
      if (!take(',')) return false;
    }
  }
};

}  // namespace

bool is_json_object(const Utf8String& text) {
  JsonCheck check{text};
  return check.object(0) && check.at == text.size();
}

namespace {

// A path the walk could have produced: components joined by "/", none empty
// and none "." or "..". Any other byte may be part of a file's name.
bool plausible_path(const Utf8String& path) {
  if (path.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path.find('/', start);
    if (end == Utf8String::npos) end = path.size();
    const std::size_t length = end - start;
    if (length == 0 || (length == 1 && path[start] == '.') ||
        (length == 2 && path[start] == '.' && path[start + 1] == '.')) {
      return false;
    }
    if (end == path.size()) return true;
    start = end + 1;
  }
}

}  // namespace

WideString library_index_path() {
  return join_path(base_directory(), u"TessavinServer-library.dat");
}

Utf8String encode_library_index(const LibraryEntries& entries) {
  Utf8String out = header();
  out += std::to_string(entries.size());
  out += '\n';
  for (const LibraryEntry& entry : entries) {
    out += std::to_string(entry.path.size());
    out += ' ';
    out += std::to_string(entry.info.size());
    out += ' ';
    out += std::to_string(entry.stamp.size);
    out += ' ';
    out += std::to_string(entry.stamp.modified);
    out += entry.stamp_valid ? " 1\n" : " 0\n";
    out += entry.path;
    out += entry.info;
    out += '\n';
  }
  const std::uint64_t sum = fnv1a(out.data(), out.size());
  out += kChecksumLabel;
  out += hex64(sum);
  out += '\n';
  return out;
}

bool decode_library_index(const Utf8String& bytes, LibraryEntries& entries) {
  entries.clear();
  // The checksum line closes the file; everything before it is summed.
  const std::size_t trailer = sizeof kChecksumLabel - 1 + 16 + 1;
  if (bytes.size() < trailer) return false;
  const std::size_t body = bytes.size() - trailer;
  if (bytes.compare(body, trailer, kChecksumLabel + hex64(fnv1a(bytes.data(), body)) + "\n") != 0) {
    return false;
  }
  const Utf8String text = bytes.substr(0, body);
  Reader in{text};
  std::uint64_t count = 0;
  // Each record takes at least a dozen bytes, which bounds the count.
  if (!in.literal(header()) || !in.number(text.size(), '\n', count)) return false;
  LibraryEntries decoded;
  decoded.reserve(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) {
    LibraryEntry entry;
    std::uint64_t path_length = 0;
    std::uint64_t info_length = 0;
    std::uint64_t valid = 0;
    if (!in.number(text.size(), ' ', path_length) || !in.number(text.size(), ' ', info_length) ||
        !in.number(UINT64_MAX, ' ', entry.stamp.size) ||
        !in.signed_number(' ', entry.stamp.modified) || !in.number(1, '\n', valid) ||
        !in.bytes(path_length, entry.path) || !in.bytes(info_length, entry.info) ||
        !in.literal('\n') || !plausible_path(entry.path) || !is_json_object(entry.info)) {
      return false;
    }
    entry.stamp_valid = valid == 1;
    decoded.push_back(std::move(entry));
  }
  if (in.at != text.size()) return false;
  entries = std::move(decoded);
  return true;
}

bool load_library_index(const WideString& file, LibraryEntries& entries) {
  entries.clear();
  const PlatformOps& os = platform();
  const FileHandle handle = os.open_for_read(file, DeleteSharing::allowed);
  if (handle == kNoFile) return false;
  std::uint64_t size = 0;
  Utf8String bytes;
  bool ok = os.file_size(handle, size) && size <= kMaxIndexBytes;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (ok && got < bytes.size()) {
      const long n = os.read_file(handle, bytes.data() + got, bytes.size() - got);
      if (n <= 0) {
        ok = false;
      } else {
        got += static_cast<std::size_t>(n);
      }
    }
    // A file that grew since its size was taken is not the one that was sized.
    char extra = 0;
    if (ok && os.read_file(handle, &extra, 1) != 0) ok = false;
  }
  os.close_file(handle);
  return ok && decode_library_index(bytes, entries);
}

bool save_library_index(const WideString& file, const LibraryEntries& entries) {
  return write_file_atomic(file, encode_library_index(entries));
}

void append_library_track(const LibraryEntry& entry, Utf8String& out) {
  out += "{\"path\":\"";
  out += json_escape(entry.path);
  out += '"';
  if (entry.info.size() > 2) {
    out += ',';
    out.append(entry.info, 1, Utf8String::npos);
  } else {
    out += '}';
  }
}
