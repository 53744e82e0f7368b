// Render endpoints are the sound server's sinks: id the sink's name, name its
// description. Every sink the server lists can be played to, so each is active.
#include "audio/binding.h"
#include "audio/posix/pulse.h"
#include "text/utf.h"

namespace native_audio {

namespace {

struct SinkListing {
  std::vector<EndpointInfo> endpoints;
  bool done = false;
  bool failed = false;
};

void on_sink(pa_context*, const pa_sink_info* sink, int end_of_list, void* data) {
  auto& listing = *static_cast<SinkListing*>(data);
  if (end_of_list != 0) {  // the end, or an error that ends the list early
    listing.failed = end_of_list < 0;
    listing.done = true;
    return;
  }
  if (!sink) return;
  EndpointInfo endpoint;
  if (sink->name) endpoint.id = utf8_to_utf16(sink->name);
  if (sink->description) endpoint.name = utf8_to_utf16(sink->description);
  endpoint.active = true;
  listing.endpoints.push_back(std::move(endpoint));
}

}  // namespace

std::vector<EndpointInfo> enumerate_render_endpoints() {
  PulseSession session;
  if (!pulse_connect(session)) return {};
  SinkListing listing;
  const bool listed = pulse_wait(
      session, session.pa->context_get_sink_info_list(session.context, on_sink, &listing), listing.done);
  pulse_disconnect(session);
  // A list cut short by a failure counts as a failed enumeration.
  if (!listed || listing.failed) return {};
  return std::move(listing.endpoints);
}

// The sound server has no policy that hides an output from every program, so
// this reports a failure rather than pretending.
VisibilityStatus change_endpoint_visibility(const WideString&, bool) {
  return VisibilityStatus::failed;
}

}  // namespace native_audio
