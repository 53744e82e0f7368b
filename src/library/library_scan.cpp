#include "library/library_scan.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "music/kinds.h"
#include "service/paths.h"
#include "text/utf.h"

namespace {

// An audio file the walk found, before its facts are known.
struct Found {
  Utf8String path;
  WideString full_path;
  FileStamp stamp;
  bool stamp_valid = false;
};

using Trail = std::vector<DirectoryIdentity>;

bool by_name(const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; }

// The tree's walk, audio files only: folders first, then files, each group
// in UTF-16 code unit order, so the index lists tracks in the tree's order.
void walk(const WideString& directory, const Utf8String& relative, Trail& trail,
          std::vector<Found>& found, ScanProgress& progress) {
  const PlatformOps& os = platform();
  std::vector<DirectoryEntry> entries;
  os.list_directory(directory, entries);
  std::vector<DirectoryEntry> folders;
  std::vector<DirectoryEntry> files;
  for (DirectoryEntry& entry : entries) {
    if (entry.is_directory) {
      folders.push_back(std::move(entry));
    } else {
      const char* kind = file_kind(entry.name);
      if (kind && std::strcmp(kind, "audio") == 0) files.push_back(std::move(entry));
    }
  }
  std::sort(folders.begin(), folders.end(), by_name);
  std::sort(files.begin(), files.end(), by_name);
  const auto child_path = [&relative](const WideString& name) {
    const Utf8String text = utf16_to_utf8(name);
    return relative.empty() ? text : relative + "/" + text;
  };
  for (const DirectoryEntry& folder : folders) {
    const WideString child = join_path(directory, folder.name);
    DirectoryIdentity identity;
    const bool known = os.directory_identity(child, identity);
    if (known && std::find(trail.begin(), trail.end(), identity) != trail.end()) continue;
    if (known) trail.push_back(identity);
    walk(child, child_path(folder.name), trail, found, progress);
    if (known) trail.pop_back();
  }
  for (const DirectoryEntry& file : files) {
    Found item;
    item.full_path = join_path(directory, file.name);
    item.path = child_path(file.name);
    item.stamp_valid = os.file_stamp(item.full_path, item.stamp);
    found.push_back(std::move(item));
    progress.files.store(found.size());
  }
}

}  // namespace

LibraryEntries refresh_library(const WideString& root, const LibraryEntries& previous,
                               TrackReader reader, ScanProgress& progress, bool& changed) {
  const PlatformOps& os = platform();
  progress.files = 0;
  progress.to_read = 0;
  progress.read = 0;
  progress.phase = ScanPhase::listing;

  std::vector<Found> found;
  Trail trail;
  DirectoryIdentity identity;
  if (os.directory_identity(root, identity)) trail.push_back(identity);
  walk(root, "", trail, found, progress);

  std::unordered_map<std::string_view, const LibraryEntry*> known;
  known.reserve(previous.size());
  for (const LibraryEntry& entry : previous) known.emplace(entry.path, &entry);

  // Unchanged files keep their facts; the rest are marked for reading.
  LibraryEntries next(found.size());
  std::vector<std::size_t> stale;
  for (std::size_t i = 0; i < found.size(); ++i) {
    next[i].path = std::move(found[i].path);
    const auto old = known.find(next[i].path);
    if (old != known.end() && found[i].stamp_valid && old->second->stamp_valid &&
        old->second->stamp == found[i].stamp) {
      next[i].stamp = found[i].stamp;
      next[i].stamp_valid = true;
      next[i].info = old->second->info;
    } else {
      stale.push_back(i);
    }
  }
  progress.to_read = stale.size();
  progress.phase = ScanPhase::reading;

  for (const std::size_t i : stale) {
    LibraryEntry& entry = next[i];
    const Found& file = found[i];
    Utf8String info;
    if (reader(file.full_path, info) && is_json_object(info)) {
      entry.info = std::move(info);
    } else {
      entry.info = "{}";
    }
    // A file that changed while it was read may have given either version:
    // it is read again next time.
    FileStamp after;
    entry.stamp = file.stamp;
    entry.stamp_valid =
        file.stamp_valid && os.file_stamp(file.full_path, after) && after == file.stamp;
    progress.read.fetch_add(1);
  }

  // Compared whole, so that a file read again to the same facts (one whose
  // stamp cannot be taken, say) does not count as a change.
  changed = next.size() != previous.size();
  for (std::size_t i = 0; !changed && i < next.size(); ++i) {
    const LibraryEntry& a = next[i];
    const LibraryEntry& b = previous[i];
    changed = a.path != b.path || a.stamp != b.stamp || a.stamp_valid != b.stamp_valid ||
              a.info != b.info;
  }
  progress.phase = ScanPhase::done;
  return next;
}
