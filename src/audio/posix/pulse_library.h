#pragma once
// The sound server client library's functions the bindings call, from the
// library opened at run time on the first audio request: the service maps it
// (and its D-Bus, X11, ... dependencies) only once audio is asked for.
#include <pulse/pulseaudio.h>

inline constexpr char kPulseLibrary[] = "libpulse.so.0";

struct PulseLibrary {
  void* handle = nullptr;
  decltype(&::pa_mainloop_new) mainloop_new = nullptr;
  decltype(&::pa_mainloop_get_api) mainloop_get_api = nullptr;
  decltype(&::pa_mainloop_prepare) mainloop_prepare = nullptr;
  decltype(&::pa_mainloop_poll) mainloop_poll = nullptr;
  decltype(&::pa_mainloop_dispatch) mainloop_dispatch = nullptr;
  decltype(&::pa_mainloop_free) mainloop_free = nullptr;
  decltype(&::pa_context_new) context_new = nullptr;
  decltype(&::pa_context_connect) context_connect = nullptr;
  decltype(&::pa_context_get_state) context_get_state = nullptr;
  decltype(&::pa_context_disconnect) context_disconnect = nullptr;
  decltype(&::pa_context_unref) context_unref = nullptr;
  decltype(&::pa_context_get_server_info) context_get_server_info = nullptr;
  decltype(&::pa_context_get_sink_info_list) context_get_sink_info_list = nullptr;
  decltype(&::pa_context_get_sink_info_by_name) context_get_sink_info_by_name = nullptr;
  decltype(&::pa_context_set_sink_volume_by_name) context_set_sink_volume_by_name = nullptr;
  decltype(&::pa_context_set_sink_mute_by_name) context_set_sink_mute_by_name = nullptr;
  decltype(&::pa_operation_cancel) operation_cancel = nullptr;
  decltype(&::pa_operation_unref) operation_unref = nullptr;
  decltype(&::pa_cvolume_valid) cvolume_valid = nullptr;
  decltype(&::pa_cvolume_max) cvolume_max = nullptr;
  decltype(&::pa_cvolume_set) cvolume_set = nullptr;
};

// Opens the library `name`; false (and `library` empty) when it cannot be
// opened or lacks one of the functions.
bool open_pulse(const char* name, PulseLibrary& library);

// The library under kPulseLibrary, opened by the first caller (concurrent
// first callers wait for that one) and kept until the process ends; nullptr
// when it could not be opened, and then for good.
const PulseLibrary* pulse_library();
