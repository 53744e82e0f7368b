#pragma once
// What each audio binding (win32/, posix/) defines: one function per member
// of the audio table; each keeps the contract stated beside that member in
// layer.h.
#include "audio/layer.h"

namespace native_audio {

bool initialise_thread();
void uninitialise_thread();

std::vector<EndpointInfo> enumerate_render_endpoints();
VisibilityStatus change_endpoint_visibility(const WideString& id, bool visible);

std::optional<VolumeControl> open_default_render_volume();
bool get_level_scalar(VolumeControl control, float& level);
bool set_level_scalar(VolumeControl control, float level);
bool get_mute(VolumeControl control, bool& muted);
bool set_mute(VolumeControl control, bool muted);
void release_volume(VolumeControl control);

}  // namespace native_audio
