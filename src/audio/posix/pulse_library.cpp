#include "audio/posix/pulse_library.h"

#include <mutex>

#include "service/posix/shared_library.h"

namespace {

bool resolve_all(PulseLibrary& l) {
  void* h = l.handle;
  return resolve_function(h, "pa_mainloop_new", l.mainloop_new) &&
         resolve_function(h, "pa_mainloop_get_api", l.mainloop_get_api) &&
         resolve_function(h, "pa_mainloop_prepare", l.mainloop_prepare) &&
         resolve_function(h, "pa_mainloop_poll", l.mainloop_poll) &&
         resolve_function(h, "pa_mainloop_dispatch", l.mainloop_dispatch) &&
         resolve_function(h, "pa_mainloop_free", l.mainloop_free) &&
         resolve_function(h, "pa_context_new", l.context_new) &&
         resolve_function(h, "pa_context_connect", l.context_connect) &&
         resolve_function(h, "pa_context_get_state", l.context_get_state) &&
         resolve_function(h, "pa_context_disconnect", l.context_disconnect) &&
         resolve_function(h, "pa_context_unref", l.context_unref) &&
         resolve_function(h, "pa_context_get_server_info", l.context_get_server_info) &&
         resolve_function(h, "pa_context_get_sink_info_list", l.context_get_sink_info_list) &&
         resolve_function(h, "pa_context_get_sink_info_by_name", l.context_get_sink_info_by_name) &&
         resolve_function(h, "pa_context_set_sink_volume_by_name",
                          l.context_set_sink_volume_by_name) &&
         resolve_function(h, "pa_context_set_sink_mute_by_name", l.context_set_sink_mute_by_name) &&
         resolve_function(h, "pa_operation_cancel", l.operation_cancel) &&
         resolve_function(h, "pa_operation_unref", l.operation_unref) &&
         resolve_function(h, "pa_cvolume_valid", l.cvolume_valid) &&
         resolve_function(h, "pa_cvolume_max", l.cvolume_max) &&
         resolve_function(h, "pa_cvolume_set", l.cvolume_set);
}

}  // namespace

bool open_pulse(const char* name, PulseLibrary& library) {
  library = PulseLibrary{};
  library.handle = open_shared_library(name);
  if (library.handle != nullptr && resolve_all(library)) return true;
  close_shared_library(library.handle);
  library = PulseLibrary{};
  return false;
}

// Kept once opened: the library and what it brings in (D-Bus, X11) set up
// process-wide state of their own that is not made to be unmapped again, and
// opening it again per request would cost more than the pages it keeps.
const PulseLibrary* pulse_library() {
  static PulseLibrary library;
  static bool opened = false;
  static std::once_flag once;
  std::call_once(once, [] { opened = open_pulse(kPulseLibrary, library); });
  return opened ? &library : nullptr;
}
