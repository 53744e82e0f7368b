// The library index seen from outside: real tagged files made by ffmpeg,
// added, changed and deleted between calls, and the index across restarts.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Answer {
  std::string status;  // "200 OK", "202 Accepted", ...
  std::string body;
};

Answer split(const std::string& received) {
  Answer answer;
  const auto line_end = received.find("\r\n");
  if (received.rfind("HTTP/1.1 ", 0) == 0 && line_end != std::string::npos) {
    answer.status = received.substr(9, line_end - 9);
  }
  const auto head_end = received.find("\r\n\r\n");
  if (head_end != std::string::npos) answer.body = received.substr(head_end + 4);
  return answer;
}

// The object of one track in a library answer, "" when it is not listed.
std::string track(const std::string& body, const std::string& path) {
  const std::string start = "{\"path\":\"" + path + "\"";
  const auto at = body.find(start);
  if (at == std::string::npos) return "";
  auto end = body.find(",{\"path\":\"", at + 1);
  if (end == std::string::npos) end = body.rfind("]}");
  return body.substr(at, end - at);
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class MusicLibrary : public ServiceTest {
 protected:
  std::optional<Service> service;
  int port = 0;

  fs::path music() const { return install.app / "data" / "music"; }
  fs::path index_file() const { return install.app / "TessavinServer-library.dat"; }

  void start() {
    service.emplace(install);
    port = service->wait_until_serving();
    ASSERT_NE(port, 0) << "the service did not start";
  }
  void stop() {
    ASSERT_TRUE(service->running()) << "the service died";
    service.reset();
  }
  void TearDown() override {
    if (service) stop();
    ServiceTest::TearDown();
  }

  // One call, answered within the scan's own wait.
  Answer call() {
    const Exchange got =
        exchange(port, "GET /api/music/library HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_TRUE(got.closed);
    return split(got.received);
  }
  // Calls until the answer is up to date (a page polls the same way).
  Answer library() {
    Answer answer;
    for (int i = 0; i < 60; ++i) {
      answer = call();
      if (answer.status != "202 Accepted") break;
    }
    EXPECT_EQ(answer.status, "200 OK") << answer.body;
    return answer;
  }

  // A short tagged file made by Debian's ffmpeg.
  void make(const std::string& relative, const std::string& title, const char* codec = "libmp3lame",
            double seconds = 0.3) {
    const fs::path path = music() / relative;
    fs::create_directories(path.parent_path());
    ASSERT_EQ(run_command({"/usr/bin/ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                           "sine=frequency=440:duration=" + std::to_string(seconds), "-metadata",
                           "title=" + title, "-metadata", "artist=Tessavin Test", "-c:a", codec,
                           path.string()}),
              0)
        << relative;
  }

  // Swaps `from` for `to` (of the same length) inside the file, keeping its
  // size and modification time: a change the stamps cannot see.
  void edit_unseen(const std::string& relative, const std::string& from, const std::string& to) {
    const fs::path path = music() / relative;
    const auto time = fs::last_write_time(path);
    std::string bytes = read_file(path);
    const auto at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, from.size(), to);
    write_file(path, bytes);
    fs::last_write_time(path, time);
  }
};

TEST_F(MusicLibrary, FollowsFilesAddedChangedAndDeletedBetweenCalls) {
  make("Album/01 One.mp3", "First Song");
  make("Album/02 Two.mp3", "Second Song");
  make("Single.flac", "Third Song", "flac");
  write_file(music() / "Album" / "cover.jpg", "not listed");
  write_file(music() / "Album" / "notes.txt", "not listed");
  start();
  Answer answer = library();
  EXPECT_EQ(answer.body.rfind("{\"scan\":{\"state\":\"done\",\"files\":3,", 0), 0u) << answer.body;
  EXPECT_EQ(count(answer.body, "{\"path\":"), 3u) << answer.body;
  EXPECT_NE(track(answer.body, "Album/01 One.mp3").find("\"title\":\"First Song\""),
            std::string::npos)
      << answer.body;
  EXPECT_NE(track(answer.body, "Single.flac").find("\"title\":\"Third Song\""), std::string::npos);
  // The tree's order: folders first.
  EXPECT_LT(answer.body.find("Album/02 Two.mp3"), answer.body.find("Single.flac"));

  // Nothing changed: nothing read again.
  answer = library();
  EXPECT_NE(answer.body.find("\"toRead\":0,"), std::string::npos) << answer.body.substr(0, 80);

  make("Album/01 One.mp3", "First Song, Retitled");
  fs::remove(music() / "Album" / "02 Two.mp3");
  make("New/03 Three.ogg", "Fourth Song", "libvorbis");
  answer = library();
  EXPECT_EQ(count(answer.body, "{\"path\":"), 3u) << answer.body;
  EXPECT_NE(answer.body.find("\"toRead\":2,"), std::string::npos) << answer.body.substr(0, 80);
  EXPECT_NE(track(answer.body, "Album/01 One.mp3").find("\"title\":\"First Song, Retitled\""),
            std::string::npos)
      << answer.body;
  EXPECT_EQ(track(answer.body, "Album/02 Two.mp3"), "");
  EXPECT_NE(track(answer.body, "New/03 Three.ogg").find("\"title\":\"Fourth Song\""),
            std::string::npos)
      << answer.body;
  EXPECT_NE(track(answer.body, "Single.flac").find("\"title\":\"Third Song\""), std::string::npos);
}

// The index is read back after a restart: an edit that leaves size and time
// as they were is not seen until the time moves. It lives in the base
// directory, never among the documents.
TEST_F(MusicLibrary, TheIndexSurvivesARestart) {
  make("a.mp3", "Title AAAA");
  make("b.mp3", "Title CCCC");
  start();
  EXPECT_NE(track(library().body, "a.mp3").find("\"title\":\"Title AAAA\""), std::string::npos);
  library();  // returns once the first scan's save is done
  stop();
  ASSERT_TRUE(fs::exists(index_file()));
  EXPECT_FALSE(fs::exists(install.app / "data" / "TessavinServer-library.dat"));
  for (const auto& entry : fs::directory_iterator(install.app / "data")) {
    EXPECT_NE(entry.path().extension(), ".json") << entry.path();
  }

  edit_unseen("a.mp3", "AAAA", "BBBB");
  start();
  Answer answer = library();
  EXPECT_NE(answer.body.find("\"toRead\":0,"), std::string::npos) << answer.body.substr(0, 80);
  EXPECT_NE(track(answer.body, "a.mp3").find("\"title\":\"Title AAAA\""), std::string::npos)
      << answer.body;
  fs::last_write_time(music() / "a.mp3", fs::last_write_time(music() / "a.mp3") + 5s);
  answer = library();
  EXPECT_NE(track(answer.body, "a.mp3").find("\"title\":\"Title BBBB\""), std::string::npos)
      << answer.body;
  EXPECT_NE(track(answer.body, "b.mp3").find("\"title\":\"Title CCCC\""), std::string::npos);
  EXPECT_NE(answer.body.find("\"toRead\":1,"), std::string::npos) << answer.body.substr(0, 80);
}

// A damaged or foreign index file is read afresh and replaced; the service
// stays up. So do a link cycle and an unreadable file.
TEST_F(MusicLibrary, BadIndexFilesLinkCyclesAndBrokenFilesNeverStopIt) {
  make("Good/ok.mp3", "Still Here");
  write_file(music() / "Good" / "broken.mp3", std::string(5000, '\xff'));
  write_file(music() / "Good" / "empty.flac", "");
  fs::create_directory_symlink("..", music() / "Good" / "loop");
  write_file(index_file(), "tessavin-library-index 1 1.5.0\n3\n9 9 9 9 1\nGood/x.mp{\"title\":");
  start();
  Answer answer = library();
  EXPECT_EQ(count(answer.body, "{\"path\":"), 3u) << answer.body;
  EXPECT_NE(track(answer.body, "Good/ok.mp3").find("\"title\":\"Still Here\""), std::string::npos)
      << answer.body;
  // Listed, with no facts but what the reader could tell.
  for (const char* broken : {"Good/empty.flac", "Good/broken.mp3"}) {
    EXPECT_NE(track(answer.body, broken), "") << broken;
    EXPECT_EQ(track(answer.body, broken).find("\"title\""), std::string::npos) << broken;
  }
  EXPECT_EQ(track(answer.body, "Good/x.mp"), "");
  library();
  EXPECT_EQ(read_file(index_file()).find("Good/x.mp{"), std::string::npos);
  EXPECT_EQ(exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received, expected::kPing);
}

}  // namespace
}  // namespace blackbox
