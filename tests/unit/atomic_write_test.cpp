#include "service/atomic_write.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "fake_platform.h"
#include "temp_dir.h"
#include "text/utf.h"

namespace {

TEST(AtomicWrite, ReplacesTheWholeFileAndLeavesNoTemporary) {
  TempDir dir;
  const auto target = dir.wide("notes.json");
  std::string binary(300000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7);

  for (const std::string& content :
       {std::string("first"), binary, std::string(), std::string("x")}) {
    ASSERT_TRUE(write_file_atomic(target, content));
    EXPECT_EQ(read_file(dir.path / "notes.json"), content);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"notes.json"});
  }
}

TEST(AtomicWrite, MissingDirectoryFailsAndCreatesNothing) {
  TempDir dir;
  EXPECT_FALSE(write_file_atomic(dir.wide("absent") + u"/x.json", "data"));
  EXPECT_TRUE(dir.names().empty());
}

WideString g_last_temp;
FileHandle recording_create(const WideString& path) {
  g_last_temp = path;
  return native_platform().create_for_write(path);
}

TEST(AtomicWrite, TemporaryNameHasThreadIdAndCounter) {
  TempDir dir;
  PlatformOverride fake;
  fake.ops.create_for_write = recording_create;
  const auto target = dir.wide("notes.json");
  const std::string tid = std::to_string(platform().current_thread_id());

  ASSERT_TRUE(write_file_atomic(target, "a"));
  const std::string first = utf16_to_utf8(g_last_temp);
  const std::string prefix = utf16_to_utf8(target) + "." + tid + ".";
  ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
  ASSERT_EQ(first.substr(first.size() - 4), ".tmp");
  const unsigned long n = std::stoul(first.substr(prefix.size()));

  ASSERT_TRUE(write_file_atomic(target, "b"));
  EXPECT_EQ(utf16_to_utf8(g_last_temp), prefix + std::to_string(n + 1) + ".tmp");
}

FileHandle failing_create(const WideString&) { return kNoFile; }
bool failing_write(FileHandle, const char*, std::size_t) { return false; }
bool failing_move(const WideString&, const WideString&) { return false; }

// Files the writer has open, so that every path out can be checked.
std::set<FileHandle> g_open_for_write;
FileHandle tracked_create(const WideString& path) {
  const FileHandle file = native_platform().create_for_write(path);
  if (file != kNoFile) g_open_for_write.insert(file);
  return file;
}
void tracked_close(FileHandle file) {
  g_open_for_write.erase(file);
  native_platform().close_file(file);
}

TEST(AtomicWrite, AFailingStepKeepsTheTargetAndRemovesTheTemporary) {
  const struct {
    const char* step;
    void (*inject)(PlatformOps&);
  } faults[] = {
      {"create", [](PlatformOps& ops) { ops.create_for_write = failing_create; }},
      {"write", [](PlatformOps& ops) { ops.write_file = failing_write; }},
      {"move", [](PlatformOps& ops) { ops.move_replace = failing_move; }},
  };
  for (const auto& fault : faults) {
    TempDir dir;
    write_file(dir.path / "doc.json", "old content");
    PlatformOverride fake;
    g_open_for_write.clear();
    fake.ops.create_for_write = tracked_create;
    fake.ops.close_file = tracked_close;
    fault.inject(fake.ops);
    EXPECT_FALSE(write_file_atomic(dir.wide("doc.json"), "new content")) << fault.step;
    EXPECT_EQ(read_file(dir.path / "doc.json"), "old content") << fault.step;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"doc.json"}) << fault.step;
    EXPECT_TRUE(g_open_for_write.empty()) << fault.step << ": the temporary was left open";
  }
}

TEST(AtomicWrite, ConcurrentWritersLeaveOneWholeVersion) {
  TempDir dir;
  const auto target = dir.wide("shared.json");
  auto version = [](int writer, int round) {
    return std::string(1000 + writer * 37 + round, static_cast<char>('a' + writer));
  };
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&, w] {
      for (int r = 0; r < 25; ++r) {
        if (!write_file_atomic(target, version(w, r))) ++failures;
      }
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures, 0);
  const std::string last = read_file(dir.path / "shared.json");
  ASSERT_FALSE(last.empty());
  const int writer = last[0] - 'a';
  ASSERT_GE(writer, 0);
  ASSERT_LT(writer, 4);
  EXPECT_EQ(last, version(writer, 24));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"shared.json"});
}

}  // namespace
