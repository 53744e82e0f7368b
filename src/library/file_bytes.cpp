#include "library/file_bytes.h"

#include "music/music_request.h"
#include "service/platform.h"

bool read_listed_bytes(const WideString& full_path, std::size_t limit, std::string& bytes) {
  const PlatformOps& os = platform();
  const FileHandle file = open_listed_file(full_path, DeleteSharing::allowed);
  if (file == kNoFile) return false;
  std::uint64_t size = 0;
  bool ok = os.file_size(file, size) && size <= limit;
  if (ok) {
    // One more byte than the size: a file that grew meanwhile shows as too big.
    bytes.assign(static_cast<std::size_t>(size) + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
      const long n = os.read_file(file, bytes.data() + got, bytes.size() - got);
      if (n < 0) ok = false;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ok = ok && got <= limit;
    bytes.resize(got);
  }
  os.close_file(file);
  if (!ok) bytes.clear();
  return ok;
}

bool listed_file_exists(const WideString& full_path) {
  const FileHandle file = open_listed_file(full_path, DeleteSharing::allowed);
  if (file == kNoFile) return false;
  platform().close_file(file);
  return true;
}

WideString parent_of(const WideString& full_path) {
  const auto cut = full_path.find_last_of(platform().path_separators);
  return cut == WideString::npos ? WideString() : full_path.substr(0, cut);
}

WideString name_of(const WideString& full_path) {
  const auto cut = full_path.find_last_of(platform().path_separators);
  return cut == WideString::npos ? full_path : full_path.substr(cut + 1);
}
