// The volume control is the default sink's: its level is the loudest
// channel's volume as a share of the normal volume (100 %), capped at 1.0,
// since the server allows boosting past normal; a level set applies to every
// channel alike.
#include <cmath>
#include <new>
#include <string>

#include "audio/binding.h"
#include "audio/posix/pulse.h"

namespace native_audio {

namespace {

struct SinkVolume {
  PulseSession session;
  std::string sink;  // the default sink's name when the control was opened
};

SinkVolume& sink_volume(VolumeControl control) { return *static_cast<SinkVolume*>(control.object); }

struct ServerQuery {
  std::string default_sink;
  bool done = false;
};

void on_server(pa_context*, const pa_server_info* server, void* data) {
  auto& query = *static_cast<ServerQuery*>(data);
  if (server && server->default_sink_name) query.default_sink = server->default_sink_name;
  query.done = true;
}

struct SinkQuery {
  pa_cvolume volume{};
  bool muted = false;
  bool found = false;
  bool done = false;
};

void on_sink(pa_context*, const pa_sink_info* sink, int end_of_list, void* data) {
  auto& query = *static_cast<SinkQuery*>(data);
  if (end_of_list != 0) {
    query.done = true;
    return;
  }
  if (!sink) return;
  query.volume = sink->volume;
  query.muted = sink->mute != 0;
  query.found = true;
}

struct Outcome {
  bool succeeded = false;
  bool done = false;
};

void on_outcome(pa_context*, int success, void* data) {
  auto& outcome = *static_cast<Outcome*>(data);
  outcome.succeeded = success != 0;
  outcome.done = true;
}

// The sink's current volume and mute, read afresh.
bool read_sink(SinkVolume& control, SinkQuery& query) {
  PulseSession& session = control.session;
  return pulse_wait(session,
                    session.pa->context_get_sink_info_by_name(session.context, control.sink.c_str(),
                                                              on_sink, &query),
                    query.done) &&
         query.found && session.pa->cvolume_valid(&query.volume);
}

}  // namespace

std::optional<VolumeControl> open_default_render_volume() {
  auto* control = new (std::nothrow) SinkVolume;
  if (!control) return std::nullopt;
  if (pulse_connect(control->session)) {
    ServerQuery server;
    SinkQuery sink;
    PulseSession& session = control->session;
    if (pulse_wait(session, session.pa->context_get_server_info(session.context, on_server, &server),
                   server.done) &&
        !server.default_sink.empty()) {
      control->sink = server.default_sink;
      if (read_sink(*control, sink)) return VolumeControl{control};
    }
    pulse_disconnect(session);
  }
  delete control;
  return std::nullopt;
}

bool get_level_scalar(VolumeControl control, float& level) {
  SinkVolume& source = sink_volume(control);
  SinkQuery sink;
  if (!read_sink(source, sink)) return false;
  const float share =
      static_cast<float>(source.session.pa->cvolume_max(&sink.volume)) / PA_VOLUME_NORM;
  level = share > 1.0f ? 1.0f : share;
  return true;
}

bool set_level_scalar(VolumeControl control, float level) {
  SinkVolume& target = sink_volume(control);
  SinkQuery sink;
  if (!read_sink(target, sink)) return false;
  if (!(level >= 0.0f)) level = 0.0f;
  if (level > 1.0f) level = 1.0f;
  PulseSession& session = target.session;
  pa_cvolume volume;
  session.pa->cvolume_set(&volume, sink.volume.channels,
                          static_cast<pa_volume_t>(std::lround(level * PA_VOLUME_NORM)));
  Outcome outcome;
  return pulse_wait(session,
                    session.pa->context_set_sink_volume_by_name(session.context,
                                                                target.sink.c_str(), &volume,
                                                                on_outcome, &outcome),
                    outcome.done) &&
         outcome.succeeded;
}

bool get_mute(VolumeControl control, bool& muted) {
  SinkQuery sink;
  if (!read_sink(sink_volume(control), sink)) return false;
  muted = sink.muted;
  return true;
}

bool set_mute(VolumeControl control, bool muted) {
  SinkVolume& target = sink_volume(control);
  Outcome outcome;
  PulseSession& session = target.session;
  return pulse_wait(session,
                    session.pa->context_set_sink_mute_by_name(session.context, target.sink.c_str(),
                                                              muted ? 1 : 0, on_outcome, &outcome),
                    outcome.done) &&
         outcome.succeeded;
}

void release_volume(VolumeControl control) {
  SinkVolume* target = &sink_volume(control);
  pulse_disconnect(target->session);
  delete target;
}

}  // namespace native_audio
