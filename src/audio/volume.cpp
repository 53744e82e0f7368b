#include <optional>
#include <string>

#include "audio/layer.h"
#include "audio/routes.h"
#include "http/lookup.h"
#include "http/response.h"
#include "text/json.h"

namespace {

// The control of one request, released on every way out.
class OpenVolume {
 public:
  OpenVolume() : control_(audio_layer().open_default_render_volume()) {}
  ~OpenVolume() {
    if (control_) audio_layer().release_volume(*control_);
  }
  OpenVolume(const OpenVolume&) = delete;
  OpenVolume& operator=(const OpenVolume&) = delete;
  explicit operator bool() const { return control_.has_value(); }
  VolumeControl operator*() const { return *control_; }

 private:
  std::optional<VolumeControl> control_;
};

// Rounds to the nearest percent, halves up, in single precision. A level
// outside 0..1 (or not a number) is pulled into range first, so that the
// conversion to int is always defined.
int level_to_percent(float level) {
  if (!(level >= 0.0f)) level = 0.0f;
  if (level > 1.0f) level = 1.0f;
  return static_cast<int>(level * 100.0f + 0.5f);
}

// The query's "v" when it is a plain decimal, else the body's "volume";
// anything missing or negative is 0, anything above 100 is 100.
int requested_percent(const HttpRequest& request) {
  const Utf8String v = query_param(request.target, "v");
  if (!v.empty()) {
    const std::int64_t from_query = parse_decimal(v, -1);
    if (from_query >= 0) return from_query > 100 ? 100 : static_cast<int>(from_query);
  }
  std::int64_t requested = -1;
  json_get_int(request.body, "volume", requested);
  if (requested < 0) return 0;
  return requested > 100 ? 100 : static_cast<int>(requested);
}

bool read_volume(float& level, bool& muted) {
  ComScope com;
  const OpenVolume volume;
  const AudioOps& audio = audio_layer();
  return volume && audio.get_level_scalar(*volume, level) && audio.get_mute(*volume, muted);
}

bool write_volume(float level) {
  ComScope com;
  const OpenVolume volume;
  if (!volume) return false;
  const AudioOps& audio = audio_layer();
  if (!audio.set_level_scalar(*volume, level > 1.0f ? 1.0f : level)) return false;
  bool muted = false;
  // Turning the volume up means to be heard; 0 leaves the mute as it was.
  if (level > 0.0f && audio.get_mute(*volume, muted) && muted) audio.set_mute(*volume, false);
  return true;
}

}  // namespace

void serve_volume_read(Socket socket, const HttpRequest&) {
  float level = 0.0f;
  bool muted = false;
  if (!read_volume(level, muted)) {
    send_response(socket, 500, "Internal Server Error", kJsonType,
                  "{\"error\":\"read volume failed\"}");
    return;
  }
  send_response(socket, 200, "OK", kJsonType,
                "{\"ok\":true,\"volume\":" + std::to_string(level_to_percent(level)) +
                    ",\"mute\":" + (muted ? "true" : "false") + "}");
}

void serve_volume_set(Socket socket, const HttpRequest& request) {
  const int percent = requested_percent(request);
  const float level = static_cast<float>(percent) / 100.0f;
  if (!write_volume(level)) {
    send_response(socket, 500, "Internal Server Error", kJsonType,
                  "{\"error\":\"set volume failed\"}");
    return;
  }
  send_response(socket, 200, "OK", kJsonType,
                "{\"ok\":true,\"volume\":" + std::to_string(percent) + "}");
}
