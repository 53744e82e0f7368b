#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "answers.h"
#include "fake_platform.h"
#include "http/routes.h"
#include "service/paths.h"
#include "store/documents.h"
#include "temp_dir.h"

namespace {

using namespace expected;

// Tracks files opened for reading so that every path out can be checked.
int g_opens = 0;
std::set<FileHandle> g_open_files;
FileHandle counting_open(const WideString& path, DeleteSharing sharing) {
  const FileHandle file = native_platform().open_for_read(path, sharing);
  if (file != kNoFile) {
    ++g_opens;
    g_open_files.insert(file);
  }
  return file;
}
void counting_close(FileHandle file) {
  g_open_files.erase(file);
  native_platform().close_file(file);
}

class Store : public ::testing::Test {
 protected:
  TempDir dir;
  PlatformOverride fake;
  std::filesystem::path data = dir.path / "data";

  void SetUp() override {
    set_service_directories(dir.path.u16string());
    std::filesystem::create_directory(data);
    g_opens = 0;
    g_open_files.clear();
    fake.ops.open_for_read = counting_open;
    fake.ops.close_file = counting_close;
  }

  std::string call(const std::string& method, const std::string& path,
                   const std::string& body = "") {
    use_scripted_peer(fake.ops);
    HttpRequest request{method, path, path, method + " " + path + " HTTP/1.1", body};
    dispatch_request(kFakeSocket, request);
    return peer().received;
  }
};

TEST(DocumentName, AllowsLettersDigitsUnderscoreAndDashUpTo64Bytes) {
  const struct {
    std::string name;
    bool valid;
  } cases[] = {
      {"a", true},
      {"Notes_2024-v2", true},
      {std::string(64, 'z'), true},
      {std::string(65, 'z'), false},
      {"", false},
      {"a.b", false},
      {"a b", false},
      {"a/b", false},
      {"a\\b", false},
      {"..", false},
      {"caf\xc3\xa9", false},
      {std::string("a\0b", 3), false},
      {"a+b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_valid_document_name(c.name), c.valid) << c.name;
}

TEST_F(Store, InvalidNamesAreRefusedWhateverTheMethod) {
  for (const char* method : {"GET", "PUT", "POST", "DELETE", "PATCH"}) {
    for (const std::string& name :
         std::vector<std::string>{"a.b", "a b", "a/b", std::string(65, 'x'), ".."}) {
      EXPECT_EQ(call(method, "/api/data/" + name, "{}"), kInvalidName) << method << " " << name;
    }
  }
  EXPECT_TRUE(dir.names() == std::vector<std::string>{"data"});
  EXPECT_TRUE(std::filesystem::is_empty(data));
}

TEST_F(Store, WritesReadsAndDeletesDocuments) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_EQ(call("PUT", "/api/data/bin", bytes), kOk);
  EXPECT_EQ(read_file(data / "bin.json"), bytes);
  EXPECT_EQ(call("GET", "/api/data/bin"), json("200 OK", bytes));

  EXPECT_EQ(call("POST", "/api/data/bin", "{\"v\":2}"), kOk);
  EXPECT_EQ(call("GET", "/api/data/bin"), json("200 OK", "{\"v\":2}"));

  EXPECT_EQ(call("POST", "/api/data/empty"), kOk);
  EXPECT_EQ(read_file(data / "empty.json"), "null");
  EXPECT_EQ(call("GET", "/api/data/empty"), json("200 OK", "null"));

  EXPECT_EQ(call("PATCH", "/api/data/bin", "x"), kNotFound);
  EXPECT_EQ(call("DELETE", "/api/data/bin"), kOk);
  EXPECT_FALSE(std::filesystem::exists(data / "bin.json"));
  EXPECT_EQ(call("GET", "/api/data/bin"), kDocumentNotFound);
  EXPECT_EQ(call("DELETE", "/api/data/never"), kOk);
  EXPECT_GT(g_opens, 0);
  EXPECT_TRUE(g_open_files.empty());
}

TEST_F(Store, LeadingByteOrderMarkIsLeftOutOfReads) {
  const struct {
    std::string stored;
    std::string served;
  } cases[] = {
      {"\xEF\xBB\xBF{}", "{}"},
      {"\xEF\xBB\xBF", ""},
      {"\xEF\xBB", "\xEF\xBB"},
      {"{}\xEF\xBB\xBF", "{}\xEF\xBB\xBF"},
      {"", ""},
  };
  for (const auto& c : cases) {
    write_file(data / "doc.json", c.stored);
    EXPECT_EQ(call("GET", "/api/data/doc"), json("200 OK", c.served));
  }
  EXPECT_EQ(call("POST", "/api/data/doc", "\xEF\xBB\xBF{}"), kOk);
  EXPECT_EQ(read_file(data / "doc.json"), "\xEF\xBB\xBF{}");  // stored as sent
}

std::vector<DirectoryEntry> g_listing;
bool g_listing_starts = true;
bool fake_list(const WideString&, std::vector<DirectoryEntry>& entries) {
  entries = g_listing;
  return g_listing_starts;
}

TEST_F(Store, ListsJsonFileNamesInListingOrderAndEscapesThem) {
  fake.ops.list_directory = fake_list;
  g_listing = {{u"b.json", false},
               {u"x.json", true},
               {u"notes.txt", false},
               {u"Q\"\\.JSON", false},
               {u".json", false},
               {u"a.jsonx", false},
               {u"\u00e9t\u00e9.Json", false},
               {u"json", false}};
  g_listing_starts = true;
  EXPECT_EQ(call("GET", "/api/list"),
            json("200 OK", "[\"b.json\",\"Q\\\"\\\\.JSON\",\".json\",\"\xc3\xa9t\xc3\xa9.Json\"]"));
  g_listing = {};
  g_listing_starts = false;
  EXPECT_EQ(call("GET", "/api/list"), json("200 OK", "[]"));
}

TEST_F(Store, ListingOnDiskSkipsDirectories) {
  EXPECT_EQ(call("GET", "/api/list"), json("200 OK", "[]"));
  EXPECT_EQ(call("PUT", "/api/data/notes", "{}"), kOk);
  std::filesystem::create_directory(data / "x.json");
  write_file(data / "other.txt", "");
  EXPECT_EQ(call("GET", "/api/list"), json("200 OK", "[\"notes.json\"]"));
}

TEST_F(Store, MissingDataDirectory) {
  std::filesystem::remove(data);
  EXPECT_EQ(call("GET", "/api/list"), json("200 OK", "[]"));
  EXPECT_EQ(call("GET", "/api/data/a"), kDocumentNotFound);
  EXPECT_EQ(call("PUT", "/api/data/a", "{}"), kWriteFailed);
  EXPECT_EQ(call("DELETE", "/api/data/a"), kOk);
  EXPECT_FALSE(std::filesystem::exists(data));
}

// A reader of a document must not make a concurrent write or delete fail.
// On Windows the replacing move waits for a reader that still has the file
// open, and a delete goes through at once.
TEST_F(Store, ReaderDoesNotBlockWritesOrDeletes) {
  EXPECT_EQ(call("PUT", "/api/data/doc", "old"), kOk);
  const FileHandle reader =
      native_platform().open_for_read(document_path("doc"), DeleteSharing::allowed);
  ASSERT_NE(reader, kNoFile);
  std::thread closer([reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    native_platform().close_file(reader);
  });
  EXPECT_EQ(call("PUT", "/api/data/doc", "new"), kOk);
  closer.join();
  EXPECT_EQ(call("GET", "/api/data/doc"), json("200 OK", "new"));

  const FileHandle holder =
      native_platform().open_for_read(document_path("doc"), DeleteSharing::allowed);
  ASSERT_NE(holder, kNoFile);
  EXPECT_EQ(call("DELETE", "/api/data/doc"), kOk);
  native_platform().close_file(holder);
  EXPECT_EQ(call("GET", "/api/data/doc"), kDocumentNotFound);
}

bool failing_size(FileHandle, std::uint64_t&) { return false; }
long failing_read(FileHandle, char*, std::size_t) { return -1; }
FileHandle failing_open(const WideString&, DeleteSharing) { return kNoFile; }
FileHandle failing_create(const WideString&) { return kNoFile; }
bool failing_write(FileHandle, const char*, std::size_t) { return false; }
bool failing_move(const WideString&, const WideString&) { return false; }
FileHandle counting_create(const WideString& path) {
  const FileHandle file = native_platform().create_for_write(path);
  if (file != kNoFile) g_open_files.insert(file);
  return file;
}

// Every failure of a read is a 404, every failure of a write a 500; either
// way the old document stays whole, no temporary is left and no file open.
TEST_F(Store, PlatformFailuresGiveTheirAnswersAndLoseNothing) {
  const struct {
    const char* step;
    const char* method;
    const std::string& answer;
    void (*inject)(PlatformOps&);
  } faults[] = {
      {"open", "GET", kDocumentNotFound,
       [](PlatformOps& ops) { ops.open_for_read = failing_open; }},
      {"size", "GET", kDocumentNotFound, [](PlatformOps& ops) { ops.file_size = failing_size; }},
      {"read", "GET", kDocumentNotFound, [](PlatformOps& ops) { ops.read_file = failing_read; }},
      {"create", "PUT", kWriteFailed,
       [](PlatformOps& ops) { ops.create_for_write = failing_create; }},
      {"write", "PUT", kWriteFailed, [](PlatformOps& ops) { ops.write_file = failing_write; }},
      {"move", "PUT", kWriteFailed, [](PlatformOps& ops) { ops.move_replace = failing_move; }},
  };
  const std::string old = "{\"old\":true}";
  write_file(data / "doc.json", old);
  fake.ops.create_for_write = counting_create;
  const PlatformOps original = fake.ops;
  for (const auto& fault : faults) {
    fault.inject(fake.ops);
    EXPECT_EQ(call(fault.method, "/api/data/doc", "{\"new\":true}"), fault.answer) << fault.step;
    fake.ops = original;
    EXPECT_TRUE(g_open_files.empty()) << fault.step << ": a file was left open";
    EXPECT_EQ(read_file(data / "doc.json"), old) << fault.step;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data), {}), 1) << fault.step;
  }
  EXPECT_EQ(call("GET", "/api/data/doc"), json("200 OK", old));
}

}  // namespace
