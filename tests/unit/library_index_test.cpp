#include "library/library_index.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "fake_platform.h"
#include "service/paths.h"
#include "temp_dir.h"

namespace {

LibraryEntries sample() {
  LibraryEntries entries(4);
  entries[0] = {"A.flac", {1234, 1700000000123456789}, true, "{\"title\":\"A\",\"year\":1999}"};
  entries[1] = {"Live/01 \"Intro\"\\.MP3", {0, -5}, true, "{}"};
  entries[2] = {"\xe6\xad\x8c/x\ny.ogg", {UINT64_MAX, INT64_MIN + 1}, false, "{}"};
  // A record is cut by length, never by a delimiter: newlines in names and
  // any bytes in the facts' strings stay as they were.
  entries[3] = {".hidden.mp3", {7, 0}, true, "{\"title\":\"line\\nbreak \xff\",\"x\":[\n1]}"};
  return entries;
}

void expect_same(const LibraryEntries& a, const LibraryEntries& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].path, b[i].path);
    EXPECT_EQ(a[i].stamp, b[i].stamp) << a[i].path;
    EXPECT_EQ(a[i].stamp_valid, b[i].stamp_valid) << a[i].path;
    EXPECT_EQ(a[i].info, b[i].info) << a[i].path;
  }
}

TEST(LibraryIndex, RoundTrips) {
  LibraryEntries back;
  ASSERT_TRUE(decode_library_index(encode_library_index(sample()), back));
  expect_same(back, sample());
  ASSERT_TRUE(decode_library_index(encode_library_index({}), back));
  EXPECT_TRUE(back.empty());
}

// Every cut and every changed byte of a real index is refused, and nothing
// of it is kept.
TEST(LibraryIndex, RefusesEveryCutAndEveryAlteredByte) {
  const std::string bytes = encode_library_index(sample());
  LibraryEntries out;
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    out = sample();
    EXPECT_FALSE(decode_library_index(bytes.substr(0, length), out)) << "cut at " << length;
    EXPECT_TRUE(out.empty());
  }
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string altered = bytes;
    altered[at] = static_cast<char>(altered[at] ^ 0x20);
    EXPECT_FALSE(decode_library_index(altered, out)) << "byte " << at;
  }
  EXPECT_FALSE(decode_library_index(bytes + "\n", out));
  EXPECT_FALSE(decode_library_index(bytes + bytes, out));
}

// The index's checksum line, made here as a forger (or another build) would.
std::string with_checksum(const std::string& body) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const unsigned char c : body) hash = (hash ^ c) * 1099511628211ULL;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return body + "checksum " + hex + "\n";
}

TEST(LibraryIndex, RefusesForeignFiles) {
  const std::string current = encode_library_index(sample());
  const std::string body = current.substr(0, current.rfind("checksum "));
  ASSERT_EQ(with_checksum(body), current);
  const std::string records = body.substr(body.find('\n') + 1);
  const std::string one = "6 2 1 1 1\na.flac{}\n";
  for (const std::string& bytes : {
           std::string(), std::string("[]"), std::string("{\"tracks\":[]}"),
           std::string(4096, '\0'), body,
           // Another build's index: read afresh, never trusted.
           with_checksum("tessavin-library-index 1 1.4.0\n" + records),
           with_checksum("tessavin-library-index 2 1.5.0\n" + records),
           // Counts and lengths that do not add up.
           with_checksum("tessavin-library-index 1 1.5.0\n2\n" + one),
           with_checksum("tessavin-library-index 1 1.5.0\n0\n" + one),
           with_checksum("tessavin-library-index 1 1.5.0\n99999999999999999999999\n"),
           with_checksum("tessavin-library-index 1 1.5.0\n1\n6 3 1 1 1\na.flac{}\n"),
           with_checksum("tessavin-library-index 1 1.5.0\n1\n6 2 1 1 2\na.flac{}\n"),
           with_checksum("tessavin-library-index 1 1.5.0\n1\n6 2 -1 1 1\na.flac{}\n"),
           with_checksum("tessavin-library-index 1 1.5.0\n1\n6 2 1 1 1 \na.flac{}\n"),
           with_checksum("tessavin-library-index 1 1.5.0\n1\n+6 2 1 1 1\na.flac{}\n"),
           with_checksum("tessavin-library-index 1 1.5.0\n1\n6 2 18446744073709551616 1 1\n"
                         "a.flac{}\n"),
       }) {
    LibraryEntries out;
    EXPECT_FALSE(decode_library_index(bytes, out)) << bytes.substr(0, 60);
    EXPECT_TRUE(out.empty());
  }
  LibraryEntries out;
  EXPECT_TRUE(decode_library_index(with_checksum("tessavin-library-index 1 1.5.0\n1\n" + one), out));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].path, "a.flac");
}

// A whole file with a good checksum still has to hold records the service
// could have written: its facts go into answers as they are.
TEST(LibraryIndex, RefusesRecordsTheServiceNeverWrites) {
  for (const LibraryEntry& bad : std::vector<LibraryEntry>{
           {"", {}, true, "{}"},
           {"../outside.mp3", {}, true, "{}"},
           {"a/../b.mp3", {}, true, "{}"},
           {"a//b.mp3", {}, true, "{}"},
           {"/a.mp3", {}, true, "{}"},
           {"a/", {}, true, "{}"},
           {"./a.mp3", {}, true, "{}"},
           {"a.mp3", {}, true, ""},
           {"a.mp3", {}, true, "\"title\""},
           {"a.mp3", {}, true, "{\"a\":1},{\"b\":2}"},
           {"a.mp3", {}, true, "{\"a\":\"}"},
           {"a.mp3", {}, true, "{\"a\":1"},
       }) {
    LibraryEntries out;
    EXPECT_FALSE(decode_library_index(encode_library_index({bad}), out))
        << bad.path << " " << bad.info;
  }
}

// What may go into an answer as it is: one whole object, nothing around it.
TEST(LibraryIndex, TellsAWholeJsonObject) {
  for (const char* good :
       {"{}", "{\"a\":1}", "{\"a\":-1.5e+3,\"b\":[true,false,null,\"x\"],\"c\":{\"d\":[]}}",
        "{\"t\":\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9 \xe6\xad\x8c\"}", "{ \"a\" : 0 }"}) {
    EXPECT_TRUE(is_json_object(good)) << good;
  }
  std::string deep = "{\"a\":";
  for (int i = 0; i < 100; ++i) deep += "[";
  for (const std::string& bad :
       {std::string(), std::string("[]"), std::string("\"a\""), std::string("{"),
        std::string("{\"a\":1}x"), std::string("{\"a\":1},{\"b\":2}"), std::string("{\"a\"}"),
        std::string("{\"a\":01}"), std::string("{\"a\":1.}"), std::string("{\"a\":tru}"),
        std::string("{\"a\":\"\n\"}"), std::string("{\"a\":\"\\x\"}"),
        std::string("{\"a\":\"\\u12\"}"), std::string("{\"a\":[1,]}"), std::string("{,}"),
        std::string("{\"a\":1,}"), std::string("{a:1}"), deep}) {
    EXPECT_FALSE(is_json_object(bad)) << bad;
  }
}

TEST(LibraryIndex, FileRoundTripAndMissingOrOddFiles) {
  TempDir dir;
  const WideString file = dir.wide("index.dat");
  LibraryEntries out = sample();
  EXPECT_FALSE(load_library_index(file, out));
  EXPECT_TRUE(out.empty());
  ASSERT_TRUE(save_library_index(file, sample()));
  ASSERT_TRUE(load_library_index(file, out));
  expect_same(out, sample());
  EXPECT_EQ(dir.names(), std::vector<std::string>{"index.dat"});  // no temporary file left

  write_file(dir.path / "index.dat", "garbage");
  EXPECT_FALSE(load_library_index(file, out));
  EXPECT_FALSE(load_library_index(dir.path.u16string(), out));  // a folder
}

TEST(LibraryIndex, ReadFailuresGiveNoEntries) {
  TempDir dir;
  const WideString file = dir.wide("index.dat");
  ASSERT_TRUE(save_library_index(file, sample()));
  PlatformOverride fake;
  fake.ops.read_file = [](FileHandle, char*, std::size_t) -> long { return -1; };
  LibraryEntries out = sample();
  EXPECT_FALSE(load_library_index(file, out));
  EXPECT_TRUE(out.empty());
  fake.ops.read_file = native_platform().read_file;
  fake.ops.file_size = [](FileHandle, std::uint64_t& size) {
    size = std::uint64_t{1} << 40;
    return true;
  };
  EXPECT_FALSE(load_library_index(file, out));
}

TEST(LibraryIndex, LivesInTheBaseDirectory) {
  set_service_directories(u"B");
  EXPECT_EQ(library_index_path(),
            u"B" + WideString(1, platform().path_separators[0]) + u"TessavinServer-library.dat");
}

TEST(LibraryIndex, TrackObjectsStartWithThePath) {
  std::string out;
  append_library_track({"a\"b/c.mp3", {}, true, "{}"}, out);
  out += ',';
  append_library_track({"x.flac", {}, true, "{\"title\":\"T\",\"trackNumber\":2}"}, out);
  EXPECT_EQ(out, "{\"path\":\"a\\\"b/c.mp3\"},{\"path\":\"x.flac\",\"title\":\"T\",\"trackNumber\":2}");
}

}  // namespace
