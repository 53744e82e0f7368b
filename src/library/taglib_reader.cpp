// The TagLib adapter: opens a listed audio file through PlatformStream as the
// TagLib file type its kind names, and hands out plain records.
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <memory>

#include "library/replay_gain.h"
#include "library/tag_reader.h"
#include "library/taglib_stream.h"
#include "music/kinds.h"
#include "music/music_request.h"

namespace {

enum class Container { mpeg, aac, flac, mp4, asf, ape, wav, vorbis, opus, ogg_flac, speex };

struct TaggedFile {
  std::unique_ptr<PlatformStream> stream;  // outlives the file that reads it
  std::unique_ptr<TagLib::File> file;
  Container container = Container::mpeg;
};

// An Ogg file's first packet names its codec, whatever the file is called.
Container ogg_codec(PlatformStream& stream, Container fallback) {
  const TagLib::ByteVector head = stream.readBlock(64);
  stream.seek(0);
  if (head.size() < 28 || !head.startsWith("OggS")) return fallback;
  const unsigned start = 27u + static_cast<unsigned char>(head[26]);
  if (head.size() < start + 8) return fallback;
  const TagLib::ByteVector packet = head.mid(start, 8);
  if (packet.startsWith("OpusHead")) return Container::opus;
  if (packet.startsWith("\x01vorbis")) return Container::vorbis;
  if (packet.startsWith("\x7f" "FLAC")) return Container::ogg_flac;
  if (packet.startsWith("Speex   ")) return Container::speex;
  return fallback;
}

bool container_of(const Utf8String& extension, Container& container) {
  static const struct {
    const char* extension;
    Container container;
  } kKinds[] = {
      {"mp3", Container::mpeg}, {"aac", Container::aac},    {"flac", Container::flac},
      {"m4a", Container::mp4},  {"mp4", Container::mp4},    {"wma", Container::asf},
      {"ape", Container::ape},  {"wav", Container::wav},    {"ogg", Container::vorbis},
      {"opus", Container::opus},
  };
  for (const auto& kind : kKinds) {
    if (extension == kind.extension) {
      container = kind.container;
      return true;
    }
  }
  return false;
}

bool open_tagged(const WideString& full_path, bool with_properties, TaggedFile& tagged) {
  const auto cut = full_path.find_last_of(platform().path_separators);
  const WideString name = cut == WideString::npos ? full_path : full_path.substr(cut + 1);
  if (!container_of(extension_text(name), tagged.container)) return false;
  // Others may delete or rename the file meanwhile; what was read stays read.
  const FileHandle handle = open_listed_file(full_path, DeleteSharing::allowed);
  if (handle == kNoFile) return false;
  tagged.stream = std::make_unique<PlatformStream>(handle);
  PlatformStream* stream = tagged.stream.get();
  if (tagged.container == Container::vorbis || tagged.container == Container::opus) {
    tagged.container = ogg_codec(*stream, tagged.container);
  }
  const auto style = TagLib::AudioProperties::Average;
  TagLib::ID3v2::FrameFactory* frames = TagLib::ID3v2::FrameFactory::instance();
  switch (tagged.container) {
    case Container::mpeg:
      tagged.file = std::make_unique<TagLib::MPEG::File>(stream, frames, with_properties, style);
      break;
    case Container::aac:  // raw ADTS: TagLib reads its ID3 tags only
      tagged.file = std::make_unique<TagLib::MPEG::File>(stream, frames, false, style);
      break;
    case Container::flac:
      tagged.file = std::make_unique<TagLib::FLAC::File>(stream, frames, with_properties, style);
      break;
    case Container::mp4:
      tagged.file = std::make_unique<TagLib::MP4::File>(stream, with_properties, style);
      break;
    case Container::asf:
      tagged.file = std::make_unique<TagLib::ASF::File>(stream, with_properties, style);
      break;
    case Container::ape:
      tagged.file = std::make_unique<TagLib::APE::File>(stream, with_properties, style);
      break;
    case Container::wav:
      tagged.file = std::make_unique<TagLib::RIFF::WAV::File>(stream, with_properties, style);
      break;
    case Container::vorbis:
      tagged.file = std::make_unique<TagLib::Ogg::Vorbis::File>(stream, with_properties, style);
      break;
    case Container::opus:
      tagged.file = std::make_unique<TagLib::Ogg::Opus::File>(stream, with_properties, style);
      break;
    case Container::ogg_flac:
      tagged.file = std::make_unique<TagLib::Ogg::FLAC::File>(stream, with_properties, style);
      break;
    case Container::speex:
      tagged.file = std::make_unique<TagLib::Ogg::Speex::File>(stream, with_properties, style);
      break;
  }
  return !stream->failed();
}

// The file's ID3v2 tag, where its container can carry one.
TagLib::ID3v2::Tag* id3v2_of(const TaggedFile& tagged) {
  TagLib::File* file = tagged.file.get();
  switch (tagged.container) {
    case Container::mpeg:
    case Container::aac: {
      auto* mpeg = static_cast<TagLib::MPEG::File*>(file);
      return mpeg->hasID3v2Tag() ? mpeg->ID3v2Tag(false) : nullptr;
    }
    case Container::flac: {
      auto* flac = static_cast<TagLib::FLAC::File*>(file);
      return flac->hasID3v2Tag() ? flac->ID3v2Tag(false) : nullptr;
    }
    case Container::wav: {
      auto* wav = static_cast<TagLib::RIFF::WAV::File*>(file);
      return wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr;
    }
    default:
      return nullptr;
  }
}

Utf8String utf8(const TagLib::String& text) { return text.to8Bit(true); }

// The first non-empty value of the first of `keys` the map holds.
std::optional<Utf8String> first_value(const TagLib::PropertyMap& map,
                                      std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    const auto found = map.find(key);
    if (found == map.end()) continue;
    for (const TagLib::String& value : found->second) {
      const Utf8String text = utf8(value.stripWhiteSpace());
      if (!text.empty()) return text;
    }
  }
  return std::nullopt;
}

// A positive number at the start of the text, as tags write track, disc and
// year ("3", "03/12", "2019-05-01"); nullopt otherwise.
std::optional<int> leading_number(const Utf8String& text, std::size_t from = 0) {
  long value = 0;
  std::size_t digits = 0;
  for (std::size_t i = from; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (++digits > 9) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  if (digits == 0 || value == 0) return std::nullopt;
  return static_cast<int>(value);
}

// "N/M": N, and M into `total` when the tag carries no total of its own.
void number_and_total(const std::optional<Utf8String>& text, std::optional<int>& number,
                      std::optional<int>& total) {
  if (!text) return;
  number = leading_number(*text);
  const auto slash = text->find('/');
  if (!total && slash != Utf8String::npos) total = leading_number(*text, slash + 1);
}

void read_tags(const TagLib::PropertyMap& map, TrackInfo& info) {
  info.title = first_value(map, {"TITLE"});
  info.artist = first_value(map, {"ARTIST"});
  info.album = first_value(map, {"ALBUM"});
  info.album_artist = first_value(map, {"ALBUMARTIST", "ALBUM ARTIST"});
  info.genre = first_value(map, {"GENRE"});
  info.composer = first_value(map, {"COMPOSER"});
  if (const auto total = first_value(map, {"TRACKTOTAL", "TOTALTRACKS"})) {
    info.track_total = leading_number(*total);
  }
  if (const auto total = first_value(map, {"DISCTOTAL", "TOTALDISCS"})) {
    info.disc_total = leading_number(*total);
  }
  number_and_total(first_value(map, {"TRACKNUMBER"}), info.track, info.track_total);
  number_and_total(first_value(map, {"DISCNUMBER"}), info.disc, info.disc_total);
  if (const auto date = first_value(map, {"DATE", "YEAR", "ORIGINALDATE"})) {
    if (date->size() >= 4) {
      const auto year = leading_number(date->substr(0, 4));
      if (year && *year >= 1000) info.year = year;
    }
    if (!info.year || date->size() > 4) info.date = date;
  }
  read_replay_gain(
      [&map](const char* key) { return first_value(map, {key}); }, info);
}

// Properties that mean "unknown" when zero are left out.
void set_positive(std::optional<int>& field, int value) {
  if (value > 0) field = value;
}

void read_properties(const TaggedFile& tagged, TrackInfo& info) {
  if (tagged.container == Container::aac) {
    info.codec = "aac";
    info.lossless = false;
  }
  const TagLib::AudioProperties* properties = tagged.file->audioProperties();
  if (properties == nullptr) return;
  if (properties->lengthInMilliseconds() > 0) info.duration_ms = properties->lengthInMilliseconds();
  set_positive(info.bitrate_kbps, properties->bitrate());
  set_positive(info.sample_rate, properties->sampleRate());
  set_positive(info.channels, properties->channels());
  auto codec = [&info](const char* name, bool lossless) {
    info.codec = name;
    info.lossless = lossless;
  };
  switch (tagged.container) {
    case Container::mpeg: {
      const int layer = static_cast<const TagLib::MPEG::Properties*>(properties)->layer();
      if (layer == 3) codec("mp3", false);
      if (layer == 2) codec("mp2", false);
      if (layer == 1) codec("mp1", false);
      break;
    }
    case Container::aac:
      break;
    case Container::flac:
    case Container::ogg_flac:
      codec("flac", true);
      set_positive(info.bits_per_sample,
                   static_cast<const TagLib::FLAC::Properties*>(properties)->bitsPerSample());
      break;
    case Container::mp4: {
      const auto* mp4 = static_cast<const TagLib::MP4::Properties*>(properties);
      if (mp4->codec() == TagLib::MP4::Properties::AAC) codec("aac", false);
      if (mp4->codec() == TagLib::MP4::Properties::ALAC) {
        codec("alac", true);
        set_positive(info.bits_per_sample, mp4->bitsPerSample());
      }
      break;
    }
    case Container::asf: {
      const auto* asf = static_cast<const TagLib::ASF::Properties*>(properties);
      using Asf = TagLib::ASF::Properties;
      if (asf->codec() == Asf::WMA1) codec("wmav1", false);
      if (asf->codec() == Asf::WMA2) codec("wmav2", false);
      if (asf->codec() == Asf::WMA9Pro) codec("wmapro", false);
      if (asf->codec() == Asf::WMA9Lossless) {
        codec("wmalossless", true);
        set_positive(info.bits_per_sample, asf->bitsPerSample());
      }
      break;
    }
    case Container::ape:
      codec("ape", true);
      set_positive(info.bits_per_sample,
                   static_cast<const TagLib::APE::Properties*>(properties)->bitsPerSample());
      break;
    case Container::wav: {
      const auto* wav = static_cast<const TagLib::RIFF::WAV::Properties*>(properties);
      // Integer PCM, IEEE float, and the extensible header that wraps them.
      if (wav->format() == 1 || wav->format() == 3 || wav->format() == 0xFFFE) {
        codec("pcm", true);
        set_positive(info.bits_per_sample, wav->bitsPerSample());
      }
      if (wav->format() == 0x55) codec("mp3", false);
      break;
    }
    case Container::vorbis:
      codec("vorbis", false);
      break;
    case Container::opus:
      codec("opus", false);
      break;
    case Container::speex:
      codec("speex", false);
      break;
  }
}

bool picture_list_bytes(const TagLib::List<TagLib::FLAC::Picture*>& pictures, std::string& bytes) {
  const TagLib::FLAC::Picture* chosen = nullptr;
  for (const TagLib::FLAC::Picture* picture : pictures) {
    if (picture->data().isEmpty()) continue;
    if (chosen == nullptr || picture->type() == TagLib::FLAC::Picture::FrontCover) {
      if (chosen == nullptr || chosen->type() != TagLib::FLAC::Picture::FrontCover) chosen = picture;
    }
  }
  if (chosen == nullptr) return false;
  bytes.assign(chosen->data().data(), chosen->data().size());
  return true;
}

bool id3v2_picture(const TagLib::ID3v2::Tag* tag, std::string& bytes) {
  if (tag == nullptr) return false;
  const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
  for (const TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
    if (picture == nullptr || picture->picture().isEmpty()) continue;
    const bool front = picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover;
    if (chosen == nullptr ||
        (front && chosen->type() != TagLib::ID3v2::AttachedPictureFrame::FrontCover)) {
      chosen = picture;
    }
  }
  if (chosen == nullptr) return false;
  bytes.assign(chosen->picture().data(), chosen->picture().size());
  return true;
}

bool mp4_picture(TagLib::MP4::File& file, std::string& bytes) {
  TagLib::MP4::Tag* tag = file.tag();
  if (tag == nullptr || !tag->contains("covr")) return false;
  // MP4 art carries no picture type: the first one is the cover.
  for (const TagLib::MP4::CoverArt& art : tag->item("covr").toCoverArtList()) {
    if (art.data().isEmpty()) continue;
    bytes.assign(art.data().data(), art.data().size());
    return true;
  }
  return false;
}

bool asf_picture(TagLib::ASF::File& file, std::string& bytes) {
  TagLib::ASF::Tag* tag = file.tag();
  if (tag == nullptr || !tag->contains("WM/Picture")) return false;
  bool found = false;
  for (const TagLib::ASF::Attribute& attribute : tag->attribute("WM/Picture")) {
    const TagLib::ASF::Picture picture = attribute.toPicture();
    if (!picture.isValid() || picture.picture().isEmpty()) continue;
    if (!found || picture.type() == TagLib::ASF::Picture::FrontCover) {
      bytes.assign(picture.picture().data(), picture.picture().size());
      if (picture.type() == TagLib::ASF::Picture::FrontCover) return true;
      found = true;
    }
  }
  return found;
}

// APE keeps a picture as an item "Cover Art (<type>)": a file name, a zero
// byte, then the image.
bool ape_picture(TagLib::APE::File& file, std::string& bytes) {
  TagLib::APE::Tag* tag = file.APETag(false);
  if (tag == nullptr) return false;
  bool found = false;
  for (const auto& item : tag->itemListMap()) {
    const Utf8String key = utf8(item.first.upper());
    if (key.rfind("COVER ART (", 0) != 0 || item.second.type() != TagLib::APE::Item::Binary) {
      continue;
    }
    const TagLib::ByteVector data = item.second.binaryData();
    const int zero = data.find('\0');
    if (zero < 0 || static_cast<unsigned>(zero) + 1 >= data.size()) continue;
    const bool front = key == "COVER ART (FRONT)";
    if (!found || front) {
      bytes.assign(data.data() + zero + 1, data.size() - zero - 1);
      if (front) return true;
      found = true;
    }
  }
  return found;
}

bool embedded_picture(const TaggedFile& tagged, std::string& bytes) {
  TagLib::File* file = tagged.file.get();
  switch (tagged.container) {
    case Container::flac: {
      auto* flac = static_cast<TagLib::FLAC::File*>(file);
      return picture_list_bytes(flac->pictureList(), bytes) ||
             (flac->hasXiphComment() &&
              picture_list_bytes(flac->xiphComment()->pictureList(), bytes)) ||
             id3v2_picture(id3v2_of(tagged), bytes);
    }
    case Container::vorbis:
    case Container::opus:
    case Container::ogg_flac:
    case Container::speex: {
      auto* comment = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag());
      return comment != nullptr && picture_list_bytes(comment->pictureList(), bytes);
    }
    case Container::mp4:
      return mp4_picture(*static_cast<TagLib::MP4::File*>(file), bytes);
    case Container::asf:
      return asf_picture(*static_cast<TagLib::ASF::File*>(file), bytes);
    case Container::ape:
      return ape_picture(*static_cast<TagLib::APE::File*>(file), bytes);
    default:
      return id3v2_picture(id3v2_of(tagged), bytes);
  }
}

const char* id3v2_encoding_name(TagLib::String::Type type) {
  switch (type) {
    case TagLib::String::Latin1:
      return "ISO-8859-1";
    case TagLib::String::UTF16:
      return "UTF-16";
    case TagLib::String::UTF16BE:
      return "UTF-16BE";
    case TagLib::String::UTF16LE:
      return "UTF-16LE";
    default:
      return "UTF-8";
  }
}

bool embedded_lyrics(const TaggedFile& tagged, Utf8String& text, Utf8String& encoding) {
  if (const TagLib::ID3v2::Tag* tag = id3v2_of(tagged)) {
    for (const TagLib::ID3v2::Frame* frame : tag->frameList("USLT")) {
      const auto* lyrics = dynamic_cast<const TagLib::ID3v2::UnsynchronizedLyricsFrame*>(frame);
      if (lyrics == nullptr || lyrics->text().isEmpty()) continue;
      text = utf8(lyrics->text());
      encoding = id3v2_encoding_name(lyrics->textEncoding());
      return true;
    }
  }
  // Vorbis comments, MP4 "\251lyr", APE "Lyrics" and WMA "WM/Lyrics" all
  // come out as LYRICS, and those formats store text as UTF-8 or UTF-16.
  const TagLib::PropertyMap map = tagged.file->properties();
  const auto found = first_value(map, {"LYRICS", "UNSYNCEDLYRICS"});
  if (!found) return false;
  text = *found;
  encoding = tagged.container == Container::asf ? "UTF-16" : "UTF-8";
  return true;
}

}  // namespace

namespace {

// False when the file cannot be read whole and unchanged.
bool read_facts_once(const WideString& full_path, TrackInfo& info) {
  TaggedFile tagged;
  if (!open_tagged(full_path, true, tagged)) return false;
  if (tagged.file->isValid()) {
    read_tags(tagged.file->properties(), info);
    read_properties(tagged, info);
    std::string picture;
    info.has_cover = embedded_picture(tagged, picture);
    Utf8String lyrics, encoding;
    info.has_lyrics = embedded_lyrics(tagged, lyrics, encoding);
  } else if (tagged.container == Container::aac) {
    read_properties(tagged, info);
  }
  return !tagged.stream->failed() && !tagged.stream->changed();
}

}  // namespace

bool read_tagged_facts(const WideString& full_path, TrackInfo& info) {
  // A file being written while it is read gets one more chance, so the
  // answer is that of one version of it.
  for (int attempt = 0; attempt < 2; ++attempt) {
    TrackInfo read;
    if (read_facts_once(full_path, read)) {
      info = read;
      return true;
    }
  }
  return false;
}

bool read_embedded_picture(const WideString& full_path, std::string& bytes) {
  TaggedFile tagged;
  if (!open_tagged(full_path, false, tagged) || !tagged.file->isValid()) return false;
  return embedded_picture(tagged, bytes) && !tagged.stream->failed();
}

bool read_embedded_lyrics(const WideString& full_path, Utf8String& text, Utf8String& encoding) {
  TaggedFile tagged;
  if (!open_tagged(full_path, false, tagged) || !tagged.file->isValid()) return false;
  return embedded_lyrics(tagged, text, encoding) && !tagged.stream->failed();
}
