// The audio routes against real sound stacks. Natively: a PulseAudio daemon
// of the test's own with null sinks, checked against what pactl sees. Under
// Wine: Wine's Core Audio on ALSA's null device, and what Wine leaves out.
// On both: no sound server at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "answers.h"
#include "harness.h"
#include "pulse_daemon.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
using expected::json;

const std::string kReadFailed =
    json("500 Internal Server Error", "{\"error\":\"read volume failed\"}");
const std::string kSetFailed =
    json("500 Internal Server Error", "{\"error\":\"set volume failed\"}");
const std::string kVisibilityFailed =
    json("500 Internal Server Error", "{\"error\":\"set endpoint visibility failed\"}");

std::string get(const std::string& path) { return "GET " + path + " HTTP/1.1\r\n\r\n"; }

std::string with_body(const std::string& method, const std::string& target,
                      const std::string& body) {
  return method + " " + target + " HTTP/1.1\r\nContent-Type: application/json\r\n" +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string volume_read(int percent, bool muted) {
  return json("200 OK", "{\"ok\":true,\"volume\":" + std::to_string(percent) +
                                   ",\"mute\":" + (muted ? "true" : "false") + "}");
}

std::string volume_set(int percent) {
  return json("200 OK", "{\"ok\":true,\"volume\":" + std::to_string(percent) + "}");
}

std::string json_string(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  return out;
}

class AudioService : public ::testing::Test {
 protected:
  Install install;
  std::optional<Service> service;
  int port = 0;

  void start(StartOptions options) {
    // The client library keeps its own files under HOME; keep them here.
    options.environment.emplace_back("HOME", install.root.string());
    // On a desktop the sound server made its cookie long before any client
    // ran. In a fresh HOME the first concurrent clients would race to make it,
    // and the client library complains about that on stderr.
    const auto cookie = install.root / ".config" / "pulse" / "cookie";
    std::filesystem::create_directories(cookie.parent_path());
    std::ofstream(cookie, std::ios::binary) << std::string(256, '\x5a');
    service.emplace(install, options);
    port = service->wait_until_serving();
    ASSERT_NE(port, 0) << "the service did not start";
  }
  std::string ask(const std::string& request) { return exchange(port, request).received; }

  // The failure answers, each within `limit`.
  void expect_prompt_failures(std::chrono::milliseconds limit) {
    const struct {
      std::string request;
      std::string answer;
    } cases[] = {
        {get("/api/audio/devices"), json("200 OK", "[]")},
        {get("/api/audio/volume"), kReadFailed},
        {"POST /api/audio/volume?v=30 HTTP/1.1\r\n\r\n", kSetFailed},
        {with_body("PUT", "/api/audio/volume", "{\"volume\":0}"), kSetFailed},
    };
    for (const auto& c : cases) {
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(ask(c.request), c.answer) << c.request;
      EXPECT_LT(std::chrono::steady_clock::now() - start, limit) << c.request;
    }
  }

  void TearDown() override {
    if (service) {
      EXPECT_TRUE(service->running()) << "the service died";
      service.reset();
    }
    EXPECT_EQ(read_file(install.stderr_path()), "");
  }
};

// --- Natively, against a PulseAudio daemon

class PulseAudio : public AudioService {
 protected:
  static inline PulseDaemon* daemon = nullptr;

  static void SetUpTestSuite() {
    if (!under_wine()) daemon = new PulseDaemon;
  }
  static void TearDownTestSuite() {
    delete daemon;
    daemon = nullptr;
  }
  void SetUp() override {
    if (under_wine()) GTEST_SKIP() << "the Windows exe is tested on Wine's own audio";
    ASSERT_TRUE(daemon->ready()) << daemon->log();
    start({.environment = {{"PULSE_SERVER", daemon->server()}}});
  }

  std::string pactl_output(const std::vector<std::string>& args) {
    const CommandResult result = daemon->pactl(args);
    EXPECT_EQ(result.exit_code, 0) << "pactl failed on " << args.front();
    return result.output;
  }
  // The percentages pactl shows for each channel of the default sink.
  std::vector<int> channel_percents() {
    const std::string text = pactl_output({"get-sink-volume", "@DEFAULT_SINK@"});
    std::vector<int> found;
    const std::regex percent("([0-9]+)%");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), percent);
         it != std::sregex_iterator(); ++it) {
      found.push_back(std::stoi((*it)[1]));
    }
    return found;
  }
  bool default_muted() {
    return pactl_output({"get-sink-mute", "@DEFAULT_SINK@"}).find("Mute: yes") != std::string::npos;
  }
  void pactl_set(const std::string& volume, bool mute) {
    pactl_output({"set-sink-volume", "@DEFAULT_SINK@", volume});
    pactl_output({"set-sink-mute", "@DEFAULT_SINK@", mute ? "1" : "0"});
  }
};

TEST_F(PulseAudio, ListsEverySinkAsPactlSeesIt) {
  // A second sink whose description needs escaping and is not ASCII.
  const CommandResult loaded =
      daemon->pactl({"load-module", "module-null-sink", "sink_name=tessavin_second",
                     "sink_properties=\"device.description='Caf\xc3\xa9 \\\"Hi-Fi\\\" a\\\\b'\""});
  ASSERT_EQ(loaded.exit_code, 0) << daemon->log();
  const std::string module = loaded.output.substr(0, loaded.output.find('\n'));

  // Names and descriptions in the server's order, as pactl lists them.
  const std::string listing = pactl_output({"list", "sinks"});
  const std::regex field("\n\t(Name|Description): ([^\n]*)");
  std::vector<std::string> values;
  for (auto it = std::sregex_iterator(listing.begin(), listing.end(), field);
       it != std::sregex_iterator(); ++it) {
    values.push_back((*it)[2]);
  }
  ASSERT_EQ(values.size(), 4u) << listing;
  EXPECT_EQ(values[2], "tessavin_second");
  EXPECT_NE(values[3].find("\"Hi-Fi\""), std::string::npos) << values[3];
  std::string expected_list = "[";
  for (std::size_t i = 0; i < values.size(); i += 2) {
    if (i) expected_list += ',';
    expected_list += "{\"id\":\"" + json_string(values[i]) + "\",\"name\":\"" +
                     json_string(values[i + 1]) + "\",\"active\":true}";
  }
  expected_list += ']';
  EXPECT_EQ(ask(get("/api/audio/devices")), json("200 OK", expected_list));
  pactl_output({"unload-module", module});
  EXPECT_EQ(ask(get("/api/audio/devices")),
            json("200 OK",
                        "[{\"id\":\"tessavin_null\",\"name\":\"Tessavin-Null\",\"active\":true}]"));
}

TEST_F(PulseAudio, ReadsTheDefaultSinksVolumeAndMute) {
  const struct {
    const char* set;
    bool mute;
    int percent;
  } cases[] = {
      {"30%", true, 30}, {"73%", false, 73},   {"100%", false, 100},
      {"0%", true, 0},   {"150%", false, 100},  // boosted past normal: reads as full
  };
  for (const auto& c : cases) {
    pactl_set(c.set, c.mute);
    EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(c.percent, c.mute)) << c.set;
  }
}

TEST_F(PulseAudio, SetsEveryChannelAndLiftsMuteAboveZero) {
  pactl_set("20%", true);
  EXPECT_EQ(ask(with_body("POST", "/api/audio/volume?v=55", "{\"volume\":10}")), volume_set(55));
  EXPECT_EQ(channel_percents(), (std::vector<int>{55, 55}));
  EXPECT_FALSE(default_muted());

  pactl_set("20%", true);
  EXPECT_EQ(ask(with_body("PUT", "/api/audio/volume", "{\"volume\":0}")), volume_set(0));
  EXPECT_EQ(channel_percents(), (std::vector<int>{0, 0}));
  EXPECT_TRUE(default_muted()) << "0 leaves the mute as it was";

  EXPECT_EQ(ask(with_body("PUT", "/api/audio/volume", "{\"volume\":250}")), volume_set(100));
  EXPECT_EQ(channel_percents(), (std::vector<int>{100, 100}));
  EXPECT_FALSE(default_muted());
  EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(100, false));

  // An unbalanced sink is set level again.
  pactl_output({"set-sink-volume", "@DEFAULT_SINK@", "10%", "90%"});
  EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(90, false));
  EXPECT_EQ(ask("POST /api/audio/volume?v=42 HTTP/1.1\r\n\r\n"), volume_set(42));
  EXPECT_EQ(channel_percents(), (std::vector<int>{42, 42}));
  EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(42, false));
}

TEST_F(PulseAudio, FollowsTheDefaultSinkFromRequestToRequest) {
  const CommandResult loaded =
      daemon->pactl({"load-module", "module-null-sink", "sink_name=tessavin_other"});
  ASSERT_EQ(loaded.exit_code, 0) << daemon->log();
  pactl_set("30%", false);
  pactl_output({"set-default-sink", "tessavin_other"});
  pactl_set("80%", true);
  EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(80, true));
  EXPECT_EQ(ask("POST /api/audio/volume?v=65 HTTP/1.1\r\n\r\n"), volume_set(65));
  pactl_output({"set-default-sink", "tessavin_null"});
  EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(30, false));
  pactl_output({"unload-module", loaded.output.substr(0, loaded.output.find('\n'))});
  const std::string other = pactl_output({"list", "short", "sinks"});
  EXPECT_EQ(other.find("tessavin_other"), std::string::npos);
}

TEST_F(PulseAudio, VisibilityIsAPlatformFailureAndChangesNothing) {
  EXPECT_EQ(
      ask(with_body("POST", "/api/audio/device", "{\"id\":\"tessavin_null\",\"enable\":false}")),
      kVisibilityFailed);
  EXPECT_EQ(ask(with_body("PUT", "/api/audio/device", "{\"enable\":false}")),
            json("400 Bad Request", "{\"error\":\"missing id or enable\"}"));
  EXPECT_EQ(ask(get("/api/audio/devices")),
            json("200 OK",
                        "[{\"id\":\"tessavin_null\",\"name\":\"Tessavin-Null\",\"active\":true}]"));
}

TEST_F(PulseAudio, ConcurrentRequestsEachGetTheirOwnConnection) {
  pactl_set("35%", false);
  std::vector<std::thread> clients;
  std::vector<std::string> answers(12);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    clients.emplace_back(
        [&, i] { answers[i] = ask(i % 2 ? get("/api/audio/volume") : get("/api/audio/devices")); });
  }
  for (auto& t : clients) t.join();
  for (std::size_t i = 0; i < answers.size(); ++i) {
    EXPECT_EQ(answers[i], i % 2 ? volume_read(35, false)
                                : json("200 OK",
                                              "[{\"id\":\"tessavin_null\",\"name\":\"Tessavin-"
                                              "Null\",\"active\":true}]"));
  }
}

// A client library that cannot be opened, or lacks a function, is a sound
// server that does not answer, though one runs.
TEST_F(PulseAudio, UnusableClientLibraryFailsAsWithoutAServer) {
  const char* no_functions = std::getenv("TESSAVIN_NO_FUNCTIONS_LIBRARY");
  ASSERT_NE(no_functions, nullptr);
  const auto libraries = install.root / "lib";
  const auto library = libraries / "libpulse.so.0";
  std::filesystem::create_directory(libraries);
  for (const bool loads : {false, true}) {
    std::filesystem::remove(library);
    if (loads) std::filesystem::copy_file(no_functions, library);
    else std::ofstream(library) << "not a library";
    service.reset();
    start({.environment = {{"PULSE_SERVER", daemon->server()},
                           {"LD_LIBRARY_PATH", libraries.string()}}});
    expect_prompt_failures(1000ms);
  }
}

// --- Natively, with no usable sound server

using NoSoundServer = AudioService;

TEST_F(NoSoundServer, FailureAnswersComeWithinASecond) {
  if (under_wine()) GTEST_SKIP() << "Wine has its own case below";
  start({.environment = {{"PULSE_SERVER", "unix:" + (install.root / "no-server").string()}}});
  expect_prompt_failures(1000ms);
}

TEST_F(NoSoundServer, ServerThatNeverAnswersCannotHoldARequest) {
  if (under_wine()) GTEST_SKIP() << "concerns the native client of the sound server";
  const SilentServer silent;
  start({.environment = {{"PULSE_SERVER", silent.server()}}});
  // Each request gives the server two seconds in all; the margin is for a
  // loaded machine.
  expect_prompt_failures(6000ms);
}

// --- Under Wine: its Core Audio on ALSA

class WineAudio : public AudioService {
 protected:
  void SetUp() override {
    if (!under_wine()) GTEST_SKIP() << "Wine's Core Audio only";
  }
  // Wine keeps to ALSA even where a sound server is reachable, so that
  // every run sees the same devices; HOME holds ALSA's user configuration.
  void start_wine(bool null_sound_card) {
    if (null_sound_card) write_file(install.root / ".asoundrc", "pcm.!default { type null }\n");
    start({.environment = {{"PULSE_SERVER", "unix:/nonexistent"}}});
  }
};

TEST_F(WineAudio, NullSoundCardIsOneActiveEndpointThatReadsButCannotBeSet) {
  start_wine(true);
  const std::string list = ask(get("/api/audio/devices"));
  std::smatch found;
  ASSERT_TRUE(std::regex_match(
      list, found,
      std::regex("HTTP/1.1 200 OK\r\n[\\s\\S]*\r\n\r\n"
                 "\\[\\{\"id\":\"([^\"]+)\",\"name\":\"Out: default\",\"active\":true\\}\\]")))
      << list;
  const std::string id = found[1];

  // Wine 8 always reads the level as 1.0.
  EXPECT_EQ(ask(get("/api/audio/volume")), volume_read(100, false));
  // Wine 8 does not implement setting the level scalar (E_NOTIMPL), so a set
  // is a platform failure there.
  EXPECT_EQ(ask("POST /api/audio/volume?v=40 HTTP/1.1\r\n\r\n"), kSetFailed);
  EXPECT_EQ(ask(with_body("PUT", "/api/audio/volume", "{\"volume\":0}")), kSetFailed);
  // Wine has no endpoint policy object (class not registered).
  EXPECT_EQ(ask(with_body("POST", "/api/audio/device", "{\"id\":\"" + id + "\",\"enable\":false}")),
            kVisibilityFailed);
  EXPECT_EQ(ask(get("/api/audio/devices")), list);
}

TEST_F(WineAudio, NoSoundCardMeansNoEndpointsAndFailedVolume) {
  start_wine(false);
  expect_prompt_failures(3000ms);
}

}  // namespace
}  // namespace blackbox
