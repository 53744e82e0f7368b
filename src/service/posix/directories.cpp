// Directory listing, identities, file stamps and path resolution on POSIX.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "service/binding.h"
#include "text/utf.h"

bool native::list_directory(const WideString& directory, std::vector<DirectoryEntry>& entries) {
  const std::string path = utf16_to_utf8(directory);
  DIR* listing = opendir(path.c_str());
  if (!listing) return false;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool folder = entry->d_type == DT_DIR;
    // A link, or a file system that does not say, needs a look at the target:
    // a link to a directory is listed as a folder, as Windows does.
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info;
      folder = stat((path + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    entries.push_back({utf8_to_utf16(name), folder});
  }
  closedir(listing);
  return true;
}

bool native::directory_identity(const WideString& path, DirectoryIdentity& identity) {
  struct stat info;
  if (stat(utf16_to_utf8(path).c_str(), &info) != 0) return false;
  identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  return true;
}

bool native::file_stamp(const WideString& path, FileStamp& stamp) {
  struct stat info;
  if (stat(utf16_to_utf8(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

// Lexical, as Windows resolves a full path: the disk is not consulted, so a
// link is not followed, and both slashes separate components.
bool native::full_path(const WideString& path, WideString& resolved) {
  WideString absolute = path;
  if (path.empty() || (path[0] != u'/' && path[0] != u'\\')) {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return false;
    absolute = utf8_to_utf16(cwd) + u"/" + path;
  }
  std::vector<WideString> parts;
  std::size_t start = 0;
  while (start <= absolute.size()) {
    std::size_t end = absolute.find_first_of(u"/\\", start);
    if (end == WideString::npos) end = absolute.size();
    const WideString part = absolute.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  WideString result;
  for (const WideString& part : parts) result += u"/" + part;
  if (result.empty()) result.push_back(u'/');
  if (result.size() > kMaxFullPath) return false;
  resolved = result;
  return true;
}
