#include "audio/posix/pulse.h"

namespace {

using Clock = std::chrono::steady_clock;

// One pass of the loop, waiting for events at most until the deadline.
bool run_once(PulseSession& session) {
  const auto left =
      std::chrono::duration_cast<std::chrono::microseconds>(session.deadline - Clock::now());
  if (left.count() <= 0) return false;
  const PulseLibrary& pa = *session.pa;
  return pa.mainloop_prepare(session.loop, static_cast<int>(left.count())) >= 0 &&
         pa.mainloop_poll(session.loop) >= 0 && pa.mainloop_dispatch(session.loop) >= 0;
}

bool context_usable(PulseSession& session) {
  return PA_CONTEXT_IS_GOOD(session.pa->context_get_state(session.context));
}

}  // namespace

bool pulse_connect(PulseSession& session) {
  session.pa = pulse_library();
  if (!session.pa) return false;
  const PulseLibrary& pa = *session.pa;
  session.deadline = Clock::now() + kPulseSessionBudget;
  session.loop = pa.mainloop_new();
  if (!session.loop) return false;
  session.context = pa.context_new(pa.mainloop_get_api(session.loop), "Tessavin Server");
  if (session.context &&
      pa.context_connect(session.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    while (context_usable(session)) {
      if (pa.context_get_state(session.context) == PA_CONTEXT_READY) return true;
      if (!run_once(session)) break;
    }
  }
  pulse_disconnect(session);
  return false;
}

void pulse_disconnect(PulseSession& session) {
  if (!session.pa) return;
  if (session.context) {
    session.pa->context_disconnect(session.context);
    session.pa->context_unref(session.context);
    session.context = nullptr;
  }
  if (session.loop) {
    session.pa->mainloop_free(session.loop);
    session.loop = nullptr;
  }
}

bool pulse_wait(PulseSession& session, pa_operation* operation, const bool& done) {
  if (!operation) return false;
  while (!done && context_usable(session) && run_once(session)) {
  }
  if (!done) session.pa->operation_cancel(operation);
  session.pa->operation_unref(operation);
  return done;
}
