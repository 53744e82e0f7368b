// Names and places the platform must take literally, what the media route
// serves, and what other local users can neither read nor take over.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
using namespace expected;
namespace fs = std::filesystem;

std::string call(int port, const std::string& method, const std::string& target,
                 const std::string& body = "", const std::string& headers = "") {
  std::string text = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
  if (method == "PUT") text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  const Exchange got = blackbox::exchange(port, text + "\r\n" + body);
  EXPECT_TRUE(got.closed) << method << " " << target;
  return got.received;
}

std::string percent_encoded(const std::string& path) {
  std::string out;
  for (const char c : path) {
    if (c == '/')
      out += "%2F";
    else if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}

class Literal : public RunningService {
 protected:
  fs::path data() const { return install.app / "data"; }
  fs::path music() const { return install.app / "data" / "music"; }
};

// Windows opens a device for these names unless the path is taken literally.
TEST_F(Literal, DocumentsNamedLikeDevicesAreFiles) {
  const char* names[] = {"CON", "nul", "COM3", "LPT1"};
  for (const char* name : names) {
    const std::string body = std::string("{\"device\":\"") + name + "\"}";
    EXPECT_EQ(call(port, "PUT", std::string("/api/data/") + name, body), kOk) << name;
    EXPECT_EQ(read_file(data() / (std::string(name) + ".json")), body) << name;
    EXPECT_EQ(call(port, "GET", std::string("/api/data/") + name), json("200 OK", body)) << name;
  }
  const std::string list = call(port, "GET", "/api/list");
  for (const char* name : names) {
    EXPECT_NE(list.find(std::string("\"") + name + ".json\""), std::string::npos) << name << list;
  }
  for (const char* name : names) {
    EXPECT_EQ(call(port, "DELETE", std::string("/api/data/") + name), kOk) << name;
    EXPECT_FALSE(fs::exists(data() / (std::string(name) + ".json"))) << name;
  }
  expect_ping_answered();
}

TEST_F(Literal, MusicFileAtAFullPathOverThreeHundredCharacters) {
  std::string relative;
  for (int i = 0; i < 4; ++i) {
    relative += std::string(70, static_cast<char>('a' + i)) + " folder/";
  }
  relative += "long song.mp3";
  const fs::path file = music() / relative;
  ASSERT_GT(file.string().size(), 300u);
  fs::create_directories(file.parent_path());
  std::string bytes(70000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
  write_file(file, bytes);

  const std::string tree = call(port, "GET", "/api/music/tree");
  EXPECT_NE(tree.find("\"path\":\"" + relative + "\",\"type\":\"audio\""), std::string::npos)
      << tree;
  const std::string target = "/api/music/media?path=" + percent_encoded(relative);
  EXPECT_EQ(call(port, "GET", target), media_head("audio/mpeg", bytes.size()) + bytes);
  EXPECT_EQ(call(port, "GET", target, "", "Range: bytes=65530-\r\n"),
            media_head("audio/mpeg", 4470, "65530-69999/70000") + bytes.substr(65530));
}

// A link may lead anywhere; only the kinds the tree lists are served through it.
TEST_F(Literal, MediaServesOnlyTheListedKinds) {
  fs::create_directories(music() / "Live");
  write_file(music() / "Live" / "notes.txt", "private notes");
  write_file(music() / "Live" / "cover.JPG", "jpeg");
  write_file(music() / "Live" / "words.lrc", "[00:01]la");
  EXPECT_EQ(call(port, "GET", "/api/music/media?path=Live%2Fnotes.txt"), kDocumentNotFound);
  EXPECT_EQ(call(port, "GET", "/api/music/media?path=Live%2Fcover.JPG"),
            media_head("image/jpeg", 4) + "jpeg");
  EXPECT_EQ(call(port, "GET", "/api/music/media?path=Live%2Fwords.lrc"),
            media_head("text/plain; charset=utf-8", 9) + "[00:01]la");

  if (under_wine()) return;  // the links below are Linux's own
  const fs::path elsewhere = install.root / "elsewhere";
  fs::create_directories(elsewhere);
  write_file(elsewhere / "tune.ogg", "ogg bytes");
  write_file(elsewhere / "tune.cue", "cue sheet");
  fs::create_directory_symlink(elsewhere, music() / "linked");
  fs::create_directory_symlink("/etc", music() / "etc");
  EXPECT_EQ(call(port, "GET", "/api/music/media?path=linked%2Ftune.ogg"),
            media_head("audio/ogg", 9) + "ogg bytes");
  EXPECT_EQ(call(port, "GET", "/api/music/media?path=linked%2Ftune.cue"), kDocumentNotFound);
  for (const char* name : {"passwd", "hostname", "shadow"}) {
    const std::string got = call(port, "GET", std::string("/api/music/media?path=etc%2F") + name);
    EXPECT_EQ(got, kDocumentNotFound) << name;
  }
}

// On Linux everything the service keeps is the user's own.
TEST_F(Literal, DataIsPrivateAndLinksAreNeverWrittenThrough) {
  if (under_wine()) GTEST_SKIP() << "file modes are Linux's";
  EXPECT_EQ(call(port, "PUT", "/api/data/diary", "{\"a\":1}"), kOk);
  EXPECT_EQ(call(port, "GET", "/api/music/tree"), json("200 OK", "[]"));
  const auto mode = [](const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
  };
  EXPECT_EQ(mode(data()), 0700u);
  EXPECT_EQ(mode(music()), 0700u);
  EXPECT_EQ(mode(data() / "diary.json"), 0600u);
  EXPECT_EQ(mode(install.app / "service_port.txt"), 0600u);

  // A link in place of the document is replaced, not followed.
  const fs::path victim = install.root / "victim";
  write_file(victim, "untouched");
  fs::remove(data() / "diary.json");
  fs::create_symlink(victim, data() / "diary.json");
  EXPECT_EQ(call(port, "PUT", "/api/data/diary", "{\"a\":2}"), kOk);
  EXPECT_EQ(read_file(victim), "untouched");
  EXPECT_FALSE(fs::is_symlink(data() / "diary.json"));
  EXPECT_EQ(read_file(data() / "diary.json"), "{\"a\":2}");
}

// A process of another user that holds a name or a lock the service might
// look at, as a hostile local user would before the service starts.
struct ForeignHolder {
  static constexpr uid_t kNobody = 65534;
  pid_t pid = -1;

  // Binds `abstract_name` (when not empty) and locks `lock_file` (when not
  // empty) as uid 65534; returns once both are held.
  ForeignHolder(const std::string& abstract_name, const std::string& lock_file) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(ready[0]);
      if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
          setresuid(kNobody, kNobody, kNobody) != 0) {
        _exit(2);
      }
      if (!abstract_name.empty()) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, abstract_name.data(), abstract_name.size());
        const auto size =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstract_name.size());
        // Taken already (by a service of an older build, say) is held all the same.
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 && errno != EADDRINUSE) {
          _exit(3);
        }
      }
      if (!lock_file.empty()) {
        const int fd = open(lock_file.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(4);
      }
      if (write(ready[1], "!", 1) != 1) _exit(5);
      for (;;) pause();
    }
    close(ready[1]);
    char byte = 0;
    if (read(ready[0], &byte, 1) != 1) {
      int status = 0;
      waitpid(pid, &status, 0);
      pid = -1;
    }
    close(ready[0]);
  }
  ~ForeignHolder() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  bool holding() const { return pid > 0; }
};

std::string login_session() {
  std::ifstream in("/proc/self/sessionid");
  std::string id;
  if (!(in >> id)) id = "none";
  return id;
}

class Guard : public ServiceTest {
 protected:
  void expect_serves(const StartOptions& options) {
    Service service(install, options);
    const int port = service.wait_until_serving();
    ASSERT_NE(port, 0) << "the service did not start";
    EXPECT_EQ(blackbox::exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received, kPing);
  }
};

// The name the service once guarded itself with is free for anyone to take.
TEST_F(Guard, AnotherUserHoldingTheOldNameDoesNotStopTheService) {
  if (under_wine() || getuid() != 0) GTEST_SKIP() << "needs root on Linux to act as another user";
  const ForeignHolder holder(
      "ZelvoTessavinService." + std::to_string(getuid()) + "." + login_session(), "");
  ASSERT_TRUE(holder.holding());
  expect_serves({});
}

// Another user's runtime directory, even with its lock held, is not ours: the
// service guards itself in a private place of its own user instead.
TEST_F(Guard, AnotherUserHoldingTheLockDoesNotStopTheService) {
  if (under_wine() || getuid() != 0) GTEST_SKIP() << "needs root on Linux to act as another user";
  const fs::path runtime = install.root / "runtime";
  fs::create_directories(runtime);
  ASSERT_EQ(chown(install.root.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(install.root.c_str(), 0755), 0);
  ASSERT_EQ(chown(runtime.c_str(), ForeignHolder::kNobody, ForeignHolder::kNobody), 0);
  ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
  const ForeignHolder holder(
      "", (runtime / ("ZelvoTessavinService." + login_session() + ".lock")).string());
  ASSERT_TRUE(holder.holding());
  expect_serves({.environment = {{"XDG_RUNTIME_DIR", runtime.string()}}});
}

// The same user's second start still finds the first, whether or not either
// has a runtime directory, and exits 0 without touching anything.
TEST_F(Guard, SameUserSecondStartEndsWithZeroWithOrWithoutARuntimeDirectory) {
  if (under_wine()) GTEST_SKIP() << "XDG_RUNTIME_DIR is Linux's";
  const fs::path runtime = install.root / "runtime";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
  const StartOptions with_runtime{.environment = {{"XDG_RUNTIME_DIR", runtime.string()}}};
  Service first(install, with_runtime);
  ASSERT_NE(first.wait_until_serving(), 0);
  for (const bool runtime_set : {true, false}) {
    Install other;
    Service second(other, runtime_set ? with_runtime : StartOptions{});
    EXPECT_EQ(second.wait_for_exit(30s), 0) << runtime_set;
    EXPECT_EQ(other.tree(), std::vector<std::string>{other.binary.filename().string()});
  }
}

}  // namespace
}  // namespace blackbox
