#include "store/documents.h"

#include <new>
#include <vector>

#include "service/paths.h"
#include "service/platform.h"
#include "text/json.h"
#include "text/utf.h"

namespace {

bool is_name_byte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

// What the Windows pattern "*.json" picks: the suffix, ASCII case ignored.
bool has_json_suffix(const WideString& name) {
  static constexpr char16_t kSuffix[] = u".json";
  constexpr std::size_t kLength = 5;
  if (name.size() < kLength) return false;
  for (std::size_t i = 0; i < kLength; ++i) {
    if (fold(name[name.size() - kLength + i]) != kSuffix[i]) return false;
  }
  return true;
}

bool read_all(FileHandle file, std::uint64_t size, Utf8String& out) {
  if (size > out.max_size()) return false;
  try {
    out.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::size_t got = 0;
  while (got < out.size()) {
    const long n = platform().read_file(file, out.data() + got, out.size() - got);
    if (n < 0) return false;
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return true;
}

}  // namespace

bool is_valid_document_name(const Utf8String& name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name) {
    if (!is_name_byte(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

WideString document_path(const Utf8String& name) {
  return join_path(data_directory(), utf8_to_utf16(name) + u".json");
}

Utf8String list_documents() {
  Utf8String out = "[";
  std::vector<DirectoryEntry> entries;
  platform().list_directory(data_directory(), entries);
  bool first = true;
  for (const DirectoryEntry& entry : entries) {
    if (entry.is_directory || !has_json_suffix(entry.name)) continue;
    if (!first) out += ',';
    out += '"' + json_escape(utf16_to_utf8(entry.name)) + '"';
    first = false;
  }
  out += ']';
  return out;
}

bool read_whole_file(const WideString& path, Utf8String& out) {
  const PlatformOps& os = platform();
  // A writer replaces the document by moving a new file over it, and a delete
  // removes it; neither may fail because a reader has it open.
  const FileHandle file = os.open_for_read(path, DeleteSharing::allowed);
  if (file == kNoFile) return false;
  std::uint64_t size = 0;
  out.clear();
  const bool read = os.file_size(file, size) && read_all(file, size, out);
  os.close_file(file);
  if (!read) return false;
  if (out.size() >= 3 && out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.erase(0, 3);
  return true;
}
