#pragma once
// The audio platform layer: the few operations on the platform's audio
// endpoint services that the audio routes need. Each platform fills the table
// in its own subdirectory (win32/, posix/); tests install a table of fakes.
#include <optional>
#include <vector>

#include "text/strings.h"

// One render endpoint as the platform reports it.
struct EndpointInfo {
  WideString id;    // the platform's identifier; empty when it gave none
  WideString name;  // the friendly name; empty when it gave none
  bool active = false;
};

enum class VisibilityStatus { success, access_denied, failed };

// The master volume control of the default render endpoint, as the binding
// handed it out. Only the binding knows what `object` is.
struct VolumeControl {
  void* object = nullptr;
};

struct AudioOps {
  // Prepares the calling thread for the calls below (COM on Windows); true
  // when that took, and then, and only then, uninitialise_thread must follow.
  bool (*initialise_thread)();
  void (*uninitialise_thread)();

  // Render endpoints in the active or disabled state, in platform order;
  // empty when the platform cannot enumerate.
  std::vector<EndpointInfo> (*enumerate_render_endpoints)();
  // Shows or hides the endpoint with this id (as listed).
  VisibilityStatus (*change_endpoint_visibility)(const WideString& id, bool visible);

  // The default output's volume control; nothing when there is no default
  // output or the platform refuses. A control handed out must be released.
  std::optional<VolumeControl> (*open_default_render_volume)();
  // The master level as a scalar from 0.0 to 1.0.
  bool (*get_level_scalar)(VolumeControl control, float& level);
  bool (*set_level_scalar)(VolumeControl control, float level);
  bool (*get_mute)(VolumeControl control, bool& muted);
  bool (*set_mute)(VolumeControl control, bool muted);
  void (*release_volume)(VolumeControl control);
};

// The table in force: the platform's own unless a test installed another.
const AudioOps& audio_layer();
// The platform's own table, built from the binding.
const AudioOps& native_audio_layer();
// Installs `ops` (or the native table again for nullptr). Tests only.
void set_audio_layer(const AudioOps* ops);

// Holds the calling thread's platform initialisation for the time of one
// request's audio calls, and undoes it only when it took.
class ComScope {
 public:
  ComScope() : initialised_(audio_layer().initialise_thread()) {}
  ~ComScope() {
    if (initialised_) audio_layer().uninitialise_thread();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};
