// The track readers on any file: facts, lyrics and cover of one file held in
// memory behind the platform seam, as the routes read it.
// Input: a byte naming the file's kind (its value modulo 11: mp3, flac, wav,
// m4a, aac, ogg, opus, wma, ape, mp4, lrc; bit 7: the same bytes also lie
// beside it as its .lrc), then the file's bytes.
#include <cstring>

#include "check.h"
#include "fake_platform.h"
#include "library/cover.h"
#include "library/lyrics.h"
#include "library/text_encoding.h"
#include "library/track_info.h"

namespace {

std::string g_bytes;
bool g_sidecar = false;
WideString g_name;
int g_open = 0;
struct Handle {
  std::uint64_t position = 0;
};
Handle g_handles[8];
int g_next = 0;

constexpr const char16_t* kKinds[] = {u".mp3", u".flac", u".wav", u".m4a", u".aac", u".ogg",
                                      u".opus", u".wma", u".ape", u".mp4", u".lrc"};

FileHandle memory_open(const WideString& path, DeleteSharing) {
  const bool sidecar = g_sidecar && path == u"/m/track.lrc" && g_name != u"/m/track.lrc";
  if (path != g_name && !sidecar) return kNoFile;
  const int slot = g_next++ % 8;
  g_handles[slot] = {};
  ++g_open;
  return slot;
}
void memory_close(FileHandle) { --g_open; }
bool memory_size(FileHandle, std::uint64_t& size) {
  size = g_bytes.size();
  return true;
}
bool memory_seek(FileHandle file, std::uint64_t offset) {
  g_handles[file].position = offset;
  return true;
}
long memory_read(FileHandle file, char* buffer, std::size_t length) {
  Handle& handle = g_handles[file];
  if (handle.position >= g_bytes.size()) return 0;
  const std::size_t n = std::min<std::size_t>(length, g_bytes.size() - handle.position);
  std::memcpy(buffer, g_bytes.data() + handle.position, n);
  handle.position += n;
  return static_cast<long>(n);
}
bool no_directory(const WideString&) { return false; }
bool empty_listing(const WideString&, std::vector<DirectoryEntry>&) { return true; }

PlatformOps memory_platform() {
  PlatformOps ops = native_platform();
  ops.open_for_read = memory_open;
  ops.close_file = memory_close;
  ops.file_size = memory_size;
  ops.seek_file = memory_seek;
  ops.read_file = memory_read;
  ops.is_directory = no_directory;
  ops.list_directory = empty_listing;
  return ops;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const PlatformOps ops = memory_platform();
  set_platform(&ops);
  g_name = WideString(u"/m/track") + kKinds[(data[0] & 0x7F) % 11];
  g_sidecar = (data[0] & 0x80) != 0;
  g_bytes.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
  g_open = 0;

  TrackInfo info;
  if (read_track_info(g_name, info)) {
    // Whatever the tags hold, the answer is well-formed UTF-8.
    FUZZ_CHECK(is_valid_utf8(track_info_json(info)));
    if (info.track) FUZZ_CHECK(*info.track > 0);
    if (info.duration_ms) FUZZ_CHECK(*info.duration_ms > 0);
  }
  Lyrics lyrics;
  if (read_lyrics(g_name, lyrics)) {
    FUZZ_CHECK(is_valid_utf8(lyrics.text));
    FUZZ_CHECK(!lyrics.encoding.empty());
  }
  CoverImage cover;
  if (find_cover(g_name, cover)) FUZZ_CHECK(image_type_of(cover.bytes) == cover.content_type);
  FUZZ_CHECK(g_open == 0);  // every file opened was closed
  set_platform(nullptr);
  return 0;
}
