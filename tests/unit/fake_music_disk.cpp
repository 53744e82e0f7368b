#include "fake_music_disk.h"

#include <condition_variable>

#include "text/utf.h"

namespace {

struct State {
  std::mutex lock;
  std::condition_variable released;
  std::map<WideString, std::uint64_t> directories;  // full path -> identity
  std::map<WideString, WideString> links;           // full path -> target's full path
  std::map<WideString, FileStamp> files;
  std::set<WideString> unstampable;
  std::map<std::string, int> reads;
  std::set<std::string> failing;
  std::set<std::string> changing;
  std::map<std::string, std::string> answers;
  bool holding = false;
  int concurrent = 0;
  int max_concurrent = 0;
  int waiting = 0;
  std::uint64_t next_identity = 1000;
};

State g_state;
FakeMusicDisk g_disk;

WideString separator() { return WideString(1, platform().path_separators[0]); }

WideString parent_of(const WideString& path) {
  const auto cut = path.rfind(separator());
  return cut == WideString::npos ? WideString() : path.substr(0, cut);
}

// Follows links in any leading part of the path. Caller holds the lock.
WideString resolve(WideString path) {
  for (int round = 0; round < 64; ++round) {
    bool moved = false;
    for (const auto& [alias, target] : g_state.links) {
      if (path == alias || path.compare(0, alias.size() + 1, alias + separator()) == 0) {
        path = target + path.substr(alias.size());
        moved = true;
        break;
      }
    }
    if (!moved) break;
  }
  return path;
}

std::string relative_of(const WideString& full) {
  const WideString root = g_disk.full("");
  Utf8String text = utf16_to_utf8(full.substr(root.size() + 1));
  for (char& c : text) {
    if (c == static_cast<char>(platform().path_separators[0])) c = '/';
  }
  return text;
}

bool fake_list(const WideString& directory, std::vector<DirectoryEntry>& entries) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  const WideString real = resolve(directory);
  if (!g_state.directories.count(real)) return false;
  for (const auto& [path, identity] : g_state.directories) {
    if (parent_of(path) == real) entries.push_back({path.substr(real.size() + 1), true});
  }
  for (const auto& [path, target] : g_state.links) {
    if (parent_of(path) == real) entries.push_back({path.substr(real.size() + 1), true});
  }
  for (const auto& [path, stamp] : g_state.files) {
    if (parent_of(path) == real) entries.push_back({path.substr(real.size() + 1), false});
  }
  return true;
}

bool fake_identity(const WideString& path, DirectoryIdentity& identity) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  const auto found = g_state.directories.find(resolve(path));
  if (found == g_state.directories.end()) return false;
  identity = {7, found->second};
  return true;
}

bool fake_stamp(const WideString& path, FileStamp& stamp) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  const WideString real = resolve(path);
  const auto found = g_state.files.find(real);
  if (found == g_state.files.end() || g_state.unstampable.count(real)) return false;
  stamp = found->second;
  return true;
}

}  // namespace

FakeMusicDisk& fake_disk() { return g_disk; }

void FakeMusicDisk::install(PlatformOps& ops) {
  {
    std::lock_guard<std::mutex> guard(g_state.lock);
    g_state.directories.clear();
    g_state.links.clear();
    g_state.files.clear();
    g_state.unstampable.clear();
    g_state.reads.clear();
    g_state.failing.clear();
    g_state.changing.clear();
    g_state.answers.clear();
    g_state.holding = false;
    g_state.concurrent = g_state.max_concurrent = g_state.waiting = 0;
  }
  ops.list_directory = fake_list;
  ops.directory_identity = fake_identity;
  ops.file_stamp = fake_stamp;
  folder("", 1);
}

WideString FakeMusicDisk::full(const std::string& relative) const {
  WideString path = u"M";
  if (relative.empty()) return path;
  WideString rest = utf8_to_utf16(relative);
  for (char16_t& c : rest) {
    if (c == u'/') c = platform().path_separators[0];
  }
  return path + separator() + rest;
}

void FakeMusicDisk::folder(const std::string& relative, std::uint64_t identity) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.directories[full(relative)] = identity ? identity : ++g_state.next_identity;
}

void FakeMusicDisk::link(const std::string& relative, const std::string& target) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.links[full(relative)] = full(target);
}

void FakeMusicDisk::file(const std::string& relative, std::uint64_t size, std::int64_t modified) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.files[full(relative)] = {size, modified};
}

void FakeMusicDisk::remove(const std::string& relative) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.files.erase(full(relative));
}

void FakeMusicDisk::touch(const std::string& relative, std::int64_t modified) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.files[full(relative)].modified = modified;
}

void FakeMusicDisk::unstampable(const std::string& relative) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.unstampable.insert(full(relative));
}

std::map<std::string, int> FakeMusicDisk::reads() const {
  std::lock_guard<std::mutex> guard(g_state.lock);
  return g_state.reads;
}

int FakeMusicDisk::read_count() const {
  int total = 0;
  for (const auto& [path, count] : reads()) total += count;
  return total;
}

void FakeMusicDisk::fail_reading(const std::string& relative) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.failing.insert(relative);
}

void FakeMusicDisk::answer(const std::string& relative, const std::string& info) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.answers[relative] = info;
}

void FakeMusicDisk::hold_reads() {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.holding = true;
}

void FakeMusicDisk::release_reads() {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.holding = false;
  g_state.released.notify_all();
}

int FakeMusicDisk::max_concurrent_reads() const {
  std::lock_guard<std::mutex> guard(g_state.lock);
  return g_state.max_concurrent;
}

int FakeMusicDisk::waiting_reads() const {
  std::lock_guard<std::mutex> guard(g_state.lock);
  return g_state.waiting;
}

void FakeMusicDisk::change_while_reading(const std::string& relative) {
  std::lock_guard<std::mutex> guard(g_state.lock);
  g_state.changing.insert(relative);
}

// The facts of a file are {"title":"<relative path>"} unless told otherwise.
bool FakeMusicDisk::reader(const WideString& full_path, Utf8String& info_json) {
  std::unique_lock<std::mutex> guard(g_state.lock);
  const std::string relative = relative_of(full_path);
  ++g_state.reads[relative];
  g_state.max_concurrent = std::max(g_state.max_concurrent, ++g_state.concurrent);
  ++g_state.waiting;
  g_state.released.wait(guard, [] { return !g_state.holding; });
  --g_state.waiting;
  --g_state.concurrent;
  if (g_state.changing.count(relative)) g_state.files[resolve(full_path)].modified += 1;
  if (g_state.failing.count(relative)) return false;
  const auto answer = g_state.answers.find(relative);
  info_json = answer != g_state.answers.end() ? answer->second
                                              : "{\"title\":\"" + relative + "\"}";
  return true;
}
