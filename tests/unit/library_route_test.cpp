#include "library/library_route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "answers.h"
#include "fake_music_disk.h"
#include "service/paths.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;

class LibraryRoute : public ::testing::Test {
 protected:
  PlatformOverride fake;
  FakeMusicDisk& disk = fake_disk();
  TempDir dir;
  std::vector<std::shared_ptr<Library>> made;

  void SetUp() override { disk.install(fake.ops); }
  void TearDown() override {
    disk.release_reads();
    for (const auto& library : made) wait_for_library_scan(*library);
  }
  WideString index_file() const { return dir.wide("index.dat"); }
  std::shared_ptr<Library> library(unsigned wait_ms = 10000) {
    LibrarySettings settings;
    settings.music_directory = disk.full("");
    settings.index_file = index_file();
    settings.reader = FakeMusicDisk::reader;
    settings.wait_ms = wait_ms;
    made.push_back(make_library(settings));
    return made.back();
  }
  void album() {
    disk.folder("Album");
    disk.file("Album/1.flac", 10, 1);
    disk.file("Album/2.flac", 20, 2);
  }
};

const std::string kAlbum =
    "\"tracks\":[{\"path\":\"Album/1.flac\",\"title\":\"Album/1.flac\"},"
    "{\"path\":\"Album/2.flac\",\"title\":\"Album/2.flac\"}]}";

TEST_F(LibraryRoute, AnswersTheWholeLibraryOnceScanned) {
  album();
  const auto l = library();
  LibraryAnswer answer = answer_library(l);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body,
            "{\"scan\":{\"state\":\"done\",\"files\":2,\"toRead\":2,\"read\":2}," + kAlbum);
  answer = answer_library(l);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body,
            "{\"scan\":{\"state\":\"done\",\"files\":2,\"toRead\":0,\"read\":0}," + kAlbum);
  EXPECT_EQ(disk.read_count(), 2);
}

// A scan that takes longer than a call waits: the call answers 202 with the
// last complete index (nothing yet) and the progress, the scan goes on, and
// a later call gets the result. One scan at a time, however many calls.
TEST_F(LibraryRoute, ASlowScanIsAnsweredWithProgress) {
  album();
  disk.hold_reads();
  const auto l = library(50);
  LibraryAnswer answer = answer_library(l);
  EXPECT_EQ(answer.status, 202);
  EXPECT_EQ(answer.body,
            "{\"scan\":{\"state\":\"reading\",\"files\":2,\"toRead\":2,\"read\":0},\"tracks\":[]}");
  std::vector<std::future<LibraryAnswer>> calls;
  for (int i = 0; i < 4; ++i) calls.push_back(std::async(std::launch::async, [&] {
    return answer_library(l);
  }));
  for (auto& call : calls) EXPECT_EQ(call.get().status, 202);
  EXPECT_EQ(disk.max_concurrent_reads(), 1);
  disk.release_reads();
  wait_for_library_scan(*l);
  answer = answer_library(l);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body.substr(answer.body.find("\"tracks\"")), kAlbum);
  // Every call made during the first scan was covered by one more, and
  // nothing was read twice.
  EXPECT_EQ(disk.read_count(), 2);
}

// While a scan runs, the answer holds the last complete index, not a mix.
TEST_F(LibraryRoute, ACallDuringAScanSeesTheLastCompleteIndex) {
  album();
  const auto l = library(50);
  ASSERT_EQ(answer_library(l).status, 200);
  disk.file("Album/3.flac", 30, 3);
  disk.hold_reads();
  const LibraryAnswer answer = answer_library(l);
  EXPECT_EQ(answer.status, 202);
  EXPECT_EQ(answer.body,
            "{\"scan\":{\"state\":\"reading\",\"files\":3,\"toRead\":1,\"read\":0}," + kAlbum);
}

// A call made while a scan runs may have changed what that scan already
// walked past: it gets its answer from a scan that started after it.
TEST_F(LibraryRoute, ACallIsCoveredByAScanThatStartedAfterIt) {
  album();
  disk.hold_reads();
  const auto l = library();
  auto before = std::async(std::launch::async, [&] { return answer_library(l); });
  while (disk.waiting_reads() == 0) std::this_thread::sleep_for(1ms);  // walked, now reading
  disk.file("Album/3.flac", 30, 3);
  auto after = std::async(std::launch::async, [&] { return answer_library(l); });
  std::this_thread::sleep_for(100ms);  // time for the second call to ask
  disk.release_reads();
  const LibraryAnswer first = before.get();
  const LibraryAnswer second = after.get();
  // The first may already see the second scan's result: never an older one.
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(second.status, 200);
  EXPECT_NE(second.body.find("Album/3.flac"), std::string::npos) << second.body;
}

TEST_F(LibraryRoute, TheIndexSurvivesARestart) {
  album();
  ASSERT_EQ(answer_library(library()).status, 200);
  wait_for_library_scan(*made.back());
  LibraryEntries saved;
  ASSERT_TRUE(load_library_index(index_file(), saved));
  ASSERT_EQ(saved.size(), 2u);

  // The next run reads nothing it already knows.
  disk.install(fake.ops);
  album();
  disk.file("Album/3.flac", 30, 3);
  const LibraryAnswer answer = answer_library(library());
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(disk.reads(), (std::map<std::string, int>{{"Album/3.flac", 1}}));
  EXPECT_NE(answer.body.find("{\"path\":\"Album/1.flac\",\"title\":\"Album/1.flac\"}"),
            std::string::npos);
}

TEST_F(LibraryRoute, ACorruptIndexFileIsRebuilt) {
  album();
  write_file(dir.path / "index.dat", "tessavin-library-index 1 1.5.0\n2\n\xff\xfe garbage");
  const auto l = library();
  const LibraryAnswer answer = answer_library(l);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body,
            "{\"scan\":{\"state\":\"done\",\"files\":2,\"toRead\":2,\"read\":2}," + kAlbum);
  wait_for_library_scan(*l);
  LibraryEntries saved;
  EXPECT_TRUE(load_library_index(index_file(), saved));
  EXPECT_EQ(saved.size(), 2u);
}

// Even an empty library replaces a corrupt file, so it is not read again.
TEST_F(LibraryRoute, AnEmptyLibraryStillReplacesACorruptFile) {
  write_file(dir.path / "index.dat", "not an index");
  const auto l = library();
  EXPECT_EQ(answer_library(l).body,
            "{\"scan\":{\"state\":\"done\",\"files\":0,\"toRead\":0,\"read\":0},\"tracks\":[]}");
  wait_for_library_scan(*l);
  LibraryEntries saved = {{"x.mp3", {}, true, "{}"}};
  EXPECT_TRUE(load_library_index(index_file(), saved));
  EXPECT_TRUE(saved.empty());
}

TEST_F(LibraryRoute, WithoutAThreadTheCallScansItself) {
  album();
  fake.ops.start_thread = [](void (*)(void*), void*) { return false; };
  const LibraryAnswer answer = answer_library(library(0));
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body.substr(answer.body.find("\"tracks\"")), kAlbum);
}

// A save that fails is tried again after the next scan, changed or not.
TEST_F(LibraryRoute, AFailedSaveIsTriedAgain) {
  album();
  static int creates = 0;
  creates = 0;
  fake.ops.create_for_write = [](const WideString&) -> FileHandle {
    ++creates;
    return kNoFile;
  };
  const auto l = library();
  ASSERT_EQ(answer_library(l).status, 200);
  wait_for_library_scan(*l);
  EXPECT_GE(creates, 1);
  LibraryEntries saved;
  EXPECT_FALSE(load_library_index(index_file(), saved));
  fake.ops.create_for_write = native_platform().create_for_write;
  ASSERT_EQ(answer_library(l).status, 200);
  wait_for_library_scan(*l);
  EXPECT_TRUE(load_library_index(index_file(), saved));
  EXPECT_EQ(saved.size(), 2u);
}

// The route over the real disk: the index goes to the base directory, never
// among the documents, and the answer is the common JSON one.
TEST(LibraryRouteOnDisk, AnswersAndKeepsTheIndexInTheBaseDirectory) {
  TempDir dir;
  PlatformOverride fake;
  use_scripted_peer(fake.ops);
  set_service_directories(dir.path.u16string());
  handle_music_library(kFakeSocket);
  EXPECT_EQ(peer().received,
            expected::json("200 OK", "{\"scan\":{\"state\":\"done\",\"files\":0,\"toRead\":0,"
                                     "\"read\":0},\"tracks\":[]}"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path / "data" / "music"));
  // The save follows the answer.
  wait_for_library_scan(*service_library());
  EXPECT_TRUE(std::filesystem::exists(dir.path / "TessavinServer-library.dat"));
  std::vector<std::string> base = dir.names();
  std::sort(base.begin(), base.end());
  EXPECT_EQ(base, (std::vector<std::string>{"TessavinServer-library.dat", "data"}));
  std::vector<std::string> data;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path / "data")) {
    data.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(data, std::vector<std::string>{"music"});
}

}  // namespace
