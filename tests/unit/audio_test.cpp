// The audio routes over a fake audio layer: answers byte for byte, what
// reaches the platform, and that every platform object and thread
// initialisation is given back.
#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include "answers.h"
#include "audio/layer.h"
#include "audio/routes.h"
#include "fake_platform.h"
#include "http/routes.h"

namespace {

using expected::json;
using expected::kNotFound;

// What the fake platform does, and what was asked of it.
struct FakeAudio {
  // Scripted behaviour.
  bool initialise_takes = true;
  std::vector<EndpointInfo> endpoints;
  VisibilityStatus visibility = VisibilityStatus::success;
  bool has_default_output = true;
  float level = 0.5f;
  bool muted = false;
  bool get_level_works = true;
  bool set_level_works = true;
  bool get_mute_works = true;
  bool set_mute_works = true;

  // Recorded calls.
  int initialised = 0;  // initialisations that took
  int uninitialised = 0;
  int calls_outside_scope = 0;
  int enumerations = 0;
  std::vector<std::pair<WideString, bool>> visibility_changes;
  int opened = 0;
  int released = 0;
  int mute_reads = 0;
  std::vector<float> levels_set;
  std::vector<bool> mutes_set;
};

FakeAudio g_audio;
int g_control_token;  // the fake's volume control object

void platform_call() {
  if (g_audio.initialise_takes && g_audio.initialised == g_audio.uninitialised) {
    ++g_audio.calls_outside_scope;
  }
}

bool is_open(VolumeControl control) {
  return control.object == &g_control_token && g_audio.opened > g_audio.released;
}

const AudioOps kFakeAudio = {
    .initialise_thread =
        [] {
          if (g_audio.initialise_takes) ++g_audio.initialised;
          return g_audio.initialise_takes;
        },
    .uninitialise_thread = [] { ++g_audio.uninitialised; },
    .enumerate_render_endpoints =
        [] {
          platform_call();
          ++g_audio.enumerations;
          return g_audio.endpoints;
        },
    .change_endpoint_visibility =
        [](const WideString& id, bool visible) {
          platform_call();
          g_audio.visibility_changes.emplace_back(id, visible);
          return g_audio.visibility;
        },
    .open_default_render_volume = []() -> std::optional<VolumeControl> {
      platform_call();
      if (!g_audio.has_default_output) return std::nullopt;
      ++g_audio.opened;
      return VolumeControl{&g_control_token};
    },
    .get_level_scalar =
        [](VolumeControl control, float& level) {
          platform_call();
          EXPECT_TRUE(is_open(control));
          if (!g_audio.get_level_works) return false;
          level = g_audio.level;
          return true;
        },
    .set_level_scalar =
        [](VolumeControl control, float level) {
          platform_call();
          EXPECT_TRUE(is_open(control));
          if (!g_audio.set_level_works) return false;
          g_audio.levels_set.push_back(level);
          g_audio.level = level;
          return true;
        },
    .get_mute =
        [](VolumeControl control, bool& muted) {
          platform_call();
          EXPECT_TRUE(is_open(control));
          ++g_audio.mute_reads;
          if (!g_audio.get_mute_works) return false;
          muted = g_audio.muted;
          return true;
        },
    .set_mute =
        [](VolumeControl control, bool muted) {
          platform_call();
          EXPECT_TRUE(is_open(control));
          g_audio.mutes_set.push_back(muted);
          if (!g_audio.set_mute_works) return false;
          g_audio.muted = muted;
          return true;
        },
    .release_volume =
        [](VolumeControl control) {
          EXPECT_TRUE(is_open(control));
          ++g_audio.released;
        },
};

const std::string kOk = "{\"ok\":true}";
const std::string kMissing = "{\"error\":\"missing id or enable\"}";
const std::string kDenied = "{\"error\":\"access denied, need admin\"}";
const std::string kVisibilityFailed = "{\"error\":\"set endpoint visibility failed\"}";
const std::string kReadFailed = "{\"error\":\"read volume failed\"}";
const std::string kSetFailed = "{\"error\":\"set volume failed\"}";

class Audio : public ::testing::Test {
 protected:
  PlatformOverride fake;

  void SetUp() override {
    g_audio = FakeAudio{};
    set_audio_layer(&kFakeAudio);
  }
  void TearDown() override {
    set_audio_layer(nullptr);
    EXPECT_EQ(g_audio.uninitialised, g_audio.initialised) << "thread initialisation not undone";
    EXPECT_EQ(g_audio.released, g_audio.opened) << "volume control not released";
    EXPECT_EQ(g_audio.calls_outside_scope, 0);
  }

  // The bytes the service sends for one request; `target` may hold a query.
  std::string answer(const std::string& method, const std::string& target,
                     const std::string& body = "") {
    use_scripted_peer(fake.ops);
    HttpRequest request;
    request.method = method;
    request.target = target;
    request.path = target.substr(0, target.find('?'));
    request.body = body;
    dispatch_request(kFakeSocket, request);
    EXPECT_EQ(peer().closes, 0);
    return peer().received;
  }
};

std::string ok_volume(int percent) {
  return json("200 OK", "{\"ok\":true,\"volume\":" + std::to_string(percent) + "}");
}

TEST_F(Audio, ListsEndpointsInPlatformOrderAsCompactJson) {
  g_audio.endpoints = {
      {u"{0.0.0.00000000}.{a1}", u"Speakers", true},
      {u"", u"No id, left out", true},
      {u"usb-2", u"", false},  // no name: listed under its id
      {u"q\"\\/", u"Caf\u00e9 \"Hi-Fi\" \\ \U0001F50A", false},
  };
  EXPECT_EQ(answer("GET", "/api/audio/devices?x=1"),
            json("200 OK",
                        "[{\"id\":\"{0.0.0.00000000}.{a1}\",\"name\":\"Speakers\",\"active\":true},"
                        "{\"id\":\"usb-2\",\"name\":\"usb-2\",\"active\":false},"
                        "{\"id\":\"q\\\"\\\\/\",\"name\":\"Caf\xc3\xa9 \\\"Hi-Fi\\\" \\\\ "
                        "\xf0\x9f\x94\x8a\",\"active\":false}]"));
  EXPECT_EQ(g_audio.enumerations, 1);
  EXPECT_EQ(g_audio.initialised, 1);
}

TEST_F(Audio, ListIsEmptyArrayWithoutUsableEndpoints) {
  EXPECT_EQ(answer("GET", "/api/audio/devices"), json("200 OK", "[]"));
  g_audio.endpoints = {{u"", u"nameless id", true}, {u"", u"", false}};
  EXPECT_EQ(list_audio_devices(), "[]");
}

TEST_F(Audio, VisibilityReadsIdAndEnableOrRefusesBeforeThePlatform) {
  const struct {
    const char* method;
    const char* body;
    const std::string& answer;
    WideString id;  // what reaches the platform; empty when nothing should
    bool visible;
  } cases[] = {
      {"POST", "{\"id\":\"dev1\",\"enable\":true}", kOk, u"dev1", true},
      {"PUT", "{\"id\":\"dev1\",\"enable\":false}", kOk, u"dev1", false},
      {"POST", "{ \"enable\" : false , \"id\" : \"Caf\xc3\xa9\" }", kOk, u"Caf\u00e9", false},
      // A non-string id takes the next string literal, as the extractor reads it.
      {"POST", "{\"id\":7,\"enable\":true}", kOk, u"enable", true},
      {"POST", "{\"enable\":true}", kMissing, u"", false},
      {"POST", "{\"id\":\"\",\"enable\":true}", kMissing, u"", false},
      {"POST", "{\"id\":\"dev1\"}", kMissing, u"", false},
      {"POST", "{\"id\":\"dev1\",\"enable\":1}", kMissing, u"", false},
      {"POST", "{\"id\":\"dev1\",\"enable\":\"true\"}", kMissing, u"", false},
      {"PUT", "", kMissing, u"", false},
  };
  for (const auto& c : cases) {
    g_audio.visibility_changes.clear();
    const bool refused = &c.answer == &kMissing;
    EXPECT_EQ(answer(c.method, "/api/audio/device", c.body),
              json(refused ? "400 Bad Request" : "200 OK", c.answer))
        << c.body;
    if (refused) {
      EXPECT_TRUE(g_audio.visibility_changes.empty()) << c.body;
    } else {
      EXPECT_EQ(g_audio.visibility_changes,
                (std::vector<std::pair<WideString, bool>>{{c.id, c.visible}}))
          << c.body;
    }
  }
  EXPECT_EQ(g_audio.initialised, 4);  // only requests that reached the platform
}

TEST_F(Audio, VisibilityFailuresAreToldApart) {
  const std::string body = "{\"id\":\"dev1\",\"enable\":false}";
  g_audio.visibility = VisibilityStatus::access_denied;
  EXPECT_EQ(answer("POST", "/api/audio/device", body), json("403 Forbidden", kDenied));
  g_audio.visibility = VisibilityStatus::failed;
  EXPECT_EQ(answer("PUT", "/api/audio/device", body),
            json("500 Internal Server Error", kVisibilityFailed));
}

TEST_F(Audio, ReadRoundsLevelToNearestPercentHalvesUp) {
  const struct {
    float level;
    bool muted;
    const char* body;
  } cases[] = {
      {0.5f, false, "{\"ok\":true,\"volume\":50,\"mute\":false}"},
      {1.0f, true, "{\"ok\":true,\"volume\":100,\"mute\":true}"},
      {0.0f, true, "{\"ok\":true,\"volume\":0,\"mute\":true}"},
      {0.2549f, false, "{\"ok\":true,\"volume\":25,\"mute\":false}"},
      {0.2551f, false, "{\"ok\":true,\"volume\":26,\"mute\":false}"},
      {0.005f, false, "{\"ok\":true,\"volume\":1,\"mute\":false}"},
      {0.3f, false, "{\"ok\":true,\"volume\":30,\"mute\":false}"},
      // A platform level out of range never yields a percent outside 0..100.
      {1.5f, false, "{\"ok\":true,\"volume\":100,\"mute\":false}"},
      {-0.25f, false, "{\"ok\":true,\"volume\":0,\"mute\":false}"},
      {std::numeric_limits<float>::quiet_NaN(), false, "{\"ok\":true,\"volume\":0,\"mute\":false}"},
  };
  for (const auto& c : cases) {
    g_audio.level = c.level;
    g_audio.muted = c.muted;
    EXPECT_EQ(answer("GET", "/api/audio/volume?t=1"), json("200 OK", c.body)) << c.level;
  }
  EXPECT_TRUE(g_audio.levels_set.empty());
  EXPECT_TRUE(g_audio.mutes_set.empty());
}

TEST_F(Audio, ReadFailsWithoutOutputOrWhenEitherReadFails) {
  const auto read_failed = json("500 Internal Server Error", kReadFailed);
  g_audio.has_default_output = false;
  EXPECT_EQ(answer("GET", "/api/audio/volume"), read_failed);
  EXPECT_EQ(g_audio.opened, 0);

  g_audio.has_default_output = true;
  g_audio.get_level_works = false;
  EXPECT_EQ(answer("GET", "/api/audio/volume"), read_failed);
  EXPECT_EQ(g_audio.mute_reads, 0) << "the mute is not asked once the level failed";

  g_audio.get_level_works = true;
  g_audio.get_mute_works = false;
  EXPECT_EQ(answer("GET", "/api/audio/volume"), read_failed);
  EXPECT_EQ(g_audio.opened, 2);
}

TEST_F(Audio, SetTakesQueryThenBodyAndCapsAtHundred) {
  const struct {
    const char* target;
    const char* body;
    int percent;
  } cases[] = {
      {"/api/audio/volume?v=30", "{\"volume\":80}", 30},
      {"/api/audio/volume?v=150", "", 100},
      {"/api/audio/volume?v=0", "{\"volume\":70}", 0},
      {"/api/audio/volume?v=007", "", 7},
      {"/api/audio/volume?x=1&v=45", "", 45},
      {"/api/audio/volume?v=-5", "{\"volume\":40}", 40},
      {"/api/audio/volume?v=abc", "{\"volume\":40}", 40},
      {"/api/audio/volume?v=50%25", "{\"volume\":40}", 40},  // "50%"
      {"/api/audio/volume?v=", "{\"volume\":60}", 60},
      {"/api/audio/volume?v=+5", "{\"volume\":9}", 9},  // '+' decodes to a space
      {"/api/audio/volume?V=20", "{\"volume\":60}", 60},
      {"/api/audio/volume", "{\"volume\":75}", 75},
      {"/api/audio/volume", "{\"volume\": 250}", 100},
      {"/api/audio/volume", "{\"volume\":12.9}", 12},
      {"/api/audio/volume", "{\"volume\":+5}", 5},
      {"/api/audio/volume", "{\"volume\":-3}", 0},
      {"/api/audio/volume", "{\"volume\":\"50\"}", 0},
      {"/api/audio/volume", "{\"level\":50}", 0},
      {"/api/audio/volume", "", 0},
  };
  for (const auto& c : cases) {
    g_audio.levels_set.clear();
    EXPECT_EQ(answer("POST", c.target, c.body), ok_volume(c.percent)) << c.target << " " << c.body;
    EXPECT_EQ(g_audio.levels_set, std::vector<float>{static_cast<float>(c.percent) / 100.0f})
        << c.target << " " << c.body;
  }
  EXPECT_EQ(answer("PUT", "/api/audio/volume?v=64"), ok_volume(64));
  EXPECT_EQ(g_audio.level, 0.64f);
}

TEST_F(Audio, SetAboveZeroLiftsMuteAndZeroKeepsIt) {
  g_audio.muted = true;
  EXPECT_EQ(answer("POST", "/api/audio/volume?v=0"), ok_volume(0));
  EXPECT_TRUE(g_audio.muted);
  EXPECT_TRUE(g_audio.mutes_set.empty());

  EXPECT_EQ(answer("POST", "/api/audio/volume?v=1"), ok_volume(1));
  EXPECT_FALSE(g_audio.muted);
  EXPECT_EQ(g_audio.mutes_set, std::vector<bool>{false});

  // Not muted: nothing to lift.
  EXPECT_EQ(answer("PUT", "/api/audio/volume", "{\"volume\":20}"), ok_volume(20));
  EXPECT_EQ(g_audio.mutes_set.size(), 1u);
}

TEST_F(Audio, MuteTroubleAfterALevelChangeIsNotReported) {
  g_audio.muted = true;
  g_audio.set_mute_works = false;
  EXPECT_EQ(answer("POST", "/api/audio/volume?v=40"), ok_volume(40));
  EXPECT_EQ(g_audio.mutes_set, std::vector<bool>{false});

  g_audio.mutes_set.clear();
  g_audio.get_mute_works = false;
  EXPECT_EQ(answer("POST", "/api/audio/volume?v=50"), ok_volume(50));
  EXPECT_TRUE(g_audio.mutes_set.empty());
  EXPECT_EQ(g_audio.level, 0.5f);
}

TEST_F(Audio, SetFailsWithoutOutputOrWhenTheLevelIsRefused) {
  const auto set_failed = json("500 Internal Server Error", kSetFailed);
  g_audio.muted = true;
  g_audio.has_default_output = false;
  EXPECT_EQ(answer("POST", "/api/audio/volume?v=30"), set_failed);
  g_audio.has_default_output = true;
  g_audio.set_level_works = false;
  EXPECT_EQ(answer("PUT", "/api/audio/volume?v=30"), set_failed);
  EXPECT_EQ(g_audio.mute_reads, 0);
  EXPECT_TRUE(g_audio.muted);
}

TEST_F(Audio, RequestsWorkWhenThreadInitialisationDoesNotTake) {
  // Then there is nothing to undo, but the platform is still asked.
  g_audio.initialise_takes = false;
  g_audio.endpoints = {{u"a", u"A", true}};
  EXPECT_EQ(answer("GET", "/api/audio/devices"),
            json("200 OK", "[{\"id\":\"a\",\"name\":\"A\",\"active\":true}]"));
  EXPECT_EQ(answer("GET", "/api/audio/volume"),
            json("200 OK", "{\"ok\":true,\"volume\":50,\"mute\":false}"));
  EXPECT_EQ(answer("POST", "/api/audio/volume?v=10"), ok_volume(10));
  EXPECT_EQ(answer("POST", "/api/audio/device", "{\"id\":\"a\",\"enable\":true}"),
            json("200 OK", kOk));
  EXPECT_EQ(g_audio.uninitialised, 0);
}

TEST_F(Audio, OtherMethodsAndNearMissPathsFallThrough) {
  const struct {
    const char* method;
    const char* path;
  } cases[] = {
      {"GET", "/api/audio/device"},    {"POST", "/api/audio/devices"},
      {"PUT", "/api/audio/devices"},   {"DELETE", "/api/audio/volume"},
      {"DELETE", "/api/audio/device"}, {"HEAD", "/api/audio/volume"},
      {"post", "/api/audio/volume"},   {"GET", "/api/audio/volume/"},
      {"GET", "/api/audio/Devices"},   {"PATCH", "/api/audio/volume"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(answer(c.method, c.path, "{\"id\":\"a\",\"enable\":true,\"volume\":5}"), kNotFound)
        << c.method << " " << c.path;
  }
  EXPECT_EQ(g_audio.initialised, 0);
}

}  // namespace
