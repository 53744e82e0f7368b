#include "fake_update.h"

#include <algorithm>

#include "text/utf.h"

namespace {

FakeUpdate g_update;

bool fake_switched_off() { return g_update.off; }

HttpOutcome fake_get(const WideString& url, std::uint32_t timeout_ms,
                     const HttpResponseSink& sink) {
  const Utf8String address = utf16_to_utf8(url);
  g_update.requested.push_back(address);
  g_update.timeouts.push_back(timeout_ms);
  const auto found = g_update.responses.find(address);
  if (found == g_update.responses.end()) return HttpOutcome::no_response;
  const FakeResponse& r = found->second;
  const auto finish = [&](HttpOutcome outcome) {
    g_update.deadlines.push_back(sink.deadline_ms(sink.context));
    return outcome;
  };
  if (!sink.head(sink.context, r.status, r.location, r.announced)) {
    return finish(HttpOutcome::done);
  }
  for (const Utf8String& chunk : r.chunks) {
    // As a binding does: the deadline is checked before every wait.
    if (g_update.clock_ms + r.gap_ms >= sink.deadline_ms(sink.context)) {
      g_update.clock_ms = std::max(g_update.clock_ms, sink.deadline_ms(sink.context));
      return finish(HttpOutcome::broken);
    }
    g_update.clock_ms += r.gap_ms;
    if (!sink.body(sink.context, chunk.data(), chunk.size())) {
      ++g_update.bodies_refused;
      return finish(HttpOutcome::done);
    }
  }
  return finish(r.outcome);
}

bool fake_sha256(const Utf8String& data, unsigned char (&digest)[kSha256Size]) {
  return g_update.hash_works && native_update_ops().sha256(data, digest);
}

bool fake_start_script(const WideString& script, const WideString& directory) {
  if (!g_update.script_starts) return false;
  g_update.scripts_started.push_back(script);
  g_update.script_directories.push_back(directory);
  return true;
}

void fake_exit(int code) { g_update.exits.push_back(code); }

}  // namespace

FakeUpdate& fake_update() { return g_update; }

std::uint64_t fake_clock_ms() { return g_update.clock_ms; }

UpdateOverride::UpdateOverride() : ops(native_update_ops()) {
  g_update = FakeUpdate{};
  ops.switched_off = fake_switched_off;
  ops.http_get_once = fake_get;
  ops.sha256 = fake_sha256;
  ops.start_swap_script = fake_start_script;
  ops.exit_process = fake_exit;
  set_update_ops(&ops);
}

FakeResponse ok_body(const Utf8String& body) {
  FakeResponse r;
  r.chunks = {body};
  return r;
}
