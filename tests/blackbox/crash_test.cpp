// The service killed outright in the middle of many document writes, then
// started again in the same place: every document is one whole version that
// a writer sent, and no acknowledged write is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"
#include "robust_tools.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
using namespace expected;
namespace fs = std::filesystem;

constexpr int kWriters = 16;
constexpr int kDocumentsEach = 4;
constexpr int kKills = 4;

std::string document_name(int writer, int document) {
  return "crash-" + std::to_string(writer) + "-" + std::to_string(document);
}

// A complete JSON text that names its writer, document and sequence number,
// padded to one of several sizes, some of them large.
std::string version(int writer, int document, int seq) {
  static constexpr std::size_t kPads[] = {0, 100, 4000, 60000, 300000};
  const std::size_t pad = kPads[(writer + seq) % 5];
  std::string fill(pad, '\0');
  for (std::size_t i = 0; i < pad; ++i) fill[i] = static_cast<char>('a' + (i + seq) % 26);
  return "{\"writer\":" + std::to_string(writer) + ",\"document\":" + std::to_string(document) +
         ",\"seq\":" + std::to_string(seq) + ",\"pad\":\"" + fill + "\"}";
}

// The sequence number a version names, or -1 when the text is no version.
int seq_of(const std::string& text, int writer, int document) {
  const std::string prefix = "{\"writer\":" + std::to_string(writer) +
                             ",\"document\":" + std::to_string(document) + ",\"seq\":";
  if (text.rfind(prefix, 0) != 0) return -1;
  const int seq = std::atoi(text.c_str() + prefix.size());
  return text == version(writer, document, seq) ? seq : -1;
}

// What one document went through: the last version acknowledged with 200
// and the last one sent at all (possibly cut off by the kill).
struct History {
  int acknowledged = -1;
  int sent = -1;
};

using CrashConsistency = ServiceTest;

TEST_F(CrashConsistency, KilledWritersLeaveOnlyWholeVersions) {
  if (under_wine()) GTEST_SKIP() << "runs against the native binary";
  std::vector<History> history(kWriters * kDocumentsEach);
  std::mt19937 random(20261210);

  for (int round = 0; round < kKills; ++round) {
    Service service(install);
    const int port = service.wait_until_serving();
    ASSERT_NE(port, 0) << "round " << round;

    std::atomic<bool> go_on{true};
    std::atomic<int> acknowledged{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
      writers.emplace_back([&, w] {
        for (int turn = 0; go_on; ++turn) {
          const int d = turn % kDocumentsEach;
          History& h = history[w * kDocumentsEach + d];
          const int seq = h.sent + 1;
          h.sent = seq;
          const std::string request =
              http_request("PUT", "/api/data/" + document_name(w, d), version(w, d, seq));
          if (blackbox::exchange(port, request).received == kOk) {
            h.acknowledged = seq;
            ++acknowledged;
          }
        }
      });
    }
    // The kill comes at a different moment each round, once writes flow.
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(150, 1200)(random)));
    const int before_kill = acknowledged;
    service.kill();
    go_on = false;
    for (auto& t : writers) t.join();
    EXPECT_GT(before_kill, 0) << "round " << round << ": no write got through before the kill";

    // Started again in the same directory.
    Service again(install);
    const int again_port = again.wait_until_serving();
    ASSERT_NE(again_port, 0) << "round " << round;
    std::set<std::string> expected_listing;
    for (int w = 0; w < kWriters; ++w) {
      for (int d = 0; d < kDocumentsEach; ++d) {
        const History& h = history[w * kDocumentsEach + d];
        const std::string name = document_name(w, d);
        const fs::path file = install.app / "data" / (name + ".json");
        const std::string served =
            blackbox::exchange(again_port, http_request("GET", "/api/data/" + name)).received;
        if (!fs::exists(file)) {
          EXPECT_EQ(h.acknowledged, -1) << name << ": an acknowledged document is gone";
          EXPECT_EQ(served, kDocumentNotFound) << name;
          continue;
        }
        expected_listing.insert("\"" + name + ".json\"");
        const std::string on_disk = read_file(file);
        const int seq = seq_of(on_disk, w, d);
        EXPECT_NE(seq, -1) << name << " holds no whole version (" << on_disk.size() << " bytes)";
        // The last acknowledged version, or the one in flight at the kill.
        EXPECT_GE(seq, h.acknowledged) << name << ": an acknowledged write was lost";
        EXPECT_LE(seq, h.sent) << name;
        EXPECT_EQ(served, json("200 OK", on_disk)) << name;
      }
    }

    // Temporaries of writes cut off may stay on disk, but are no documents.
    const std::string listing =
        body_of(blackbox::exchange(again_port, http_request("GET", "/api/list")).received);
    std::set<std::string> listed;
    for (std::size_t at = listing.find('"'); at != std::string::npos;
         at = listing.find('"', listing.find('"', at + 1) + 1)) {
      listed.insert(listing.substr(at, listing.find('"', at + 1) - at + 1));
    }
    EXPECT_EQ(listed, expected_listing) << listing;
    int leftover_temporaries = 0;
    for (const auto& entry : fs::directory_iterator(install.app / "data")) {
      if (entry.path().extension() == ".tmp") ++leftover_temporaries;
    }
    // Writes take turns, so a kill can cut off at most one of them.
    EXPECT_LE(leftover_temporaries, round + 1);
    std::printf("round %d: killed after %d acknowledged writes; %d temporaries on disk\n", round,
                before_kill, leftover_temporaries);
    EXPECT_TRUE(again.running());
  }
}

}  // namespace
}  // namespace blackbox
