// The library index's floor: the same walk and the same facts read with
// TagLib directly, by path, without HTTP, index, JSON or the service's file
// operations. Prints "files=N seconds=S".
//
//   floor_tags DIRECTORY
#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool is_audio(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  for (const char* known :
       {".mp3", ".flac", ".wav", ".m4a", ".aac", ".ogg", ".opus", ".wma", ".ape", ".mp4"}) {
    if (ext == known) return true;
  }
  return false;
}

bool has_picture(TagLib::File* file) {
  if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
    return mpeg->hasID3v2Tag() && !mpeg->ID3v2Tag()->frameList("APIC").isEmpty();
  }
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) return !flac->pictureList().isEmpty();
  if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
    return mp4->tag() && mp4->tag()->contains("covr");
  }
  if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
    return asf->tag() && asf->tag()->contains("WM/Picture");
  }
  if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag())) {
    return !xiph->pictureList().isEmpty();
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: floor_tags DIRECTORY\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::size_t files = 0;
  std::size_t titled = 0;
  std::size_t pictures = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(argv[1], fs::directory_options::follow_directory_symlink,
                                           error),
       end;
       it != end; it.increment(error)) {
    if (error || !it->is_regular_file(error) || !is_audio(it->path())) continue;
    ++files;
    TagLib::FileRef ref(it->path().c_str(), true, TagLib::AudioProperties::Average);
    if (ref.isNull()) continue;
    const TagLib::PropertyMap tags = ref.file()->properties();
    if (tags.contains("TITLE")) ++titled;
    const TagLib::AudioProperties* audio = ref.audioProperties();
    volatile int sink = audio ? audio->lengthInMilliseconds() + audio->bitrate() +
                                    audio->sampleRate() + audio->channels()
                              : 0;
    (void)sink;
    if (has_picture(ref.file())) ++pictures;
    // The sidecar lyrics the service looks for beside each track.
    fs::path lyrics = it->path();
    lyrics.replace_extension(".lrc");
    (void)fs::exists(lyrics, error);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("files=%zu titled=%zu pictures=%zu seconds=%.4f\n", files, titled, pictures, seconds);
  return 0;
}
