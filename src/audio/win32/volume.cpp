#include "audio/binding.h"
#include "audio/win32/ids.h"
// After ids.h, which brings in windows.h.
#include <endpointvolume.h>

namespace native_audio {

namespace {

IAudioEndpointVolume* endpoint_volume(VolumeControl control) {
  return static_cast<IAudioEndpointVolume*>(control.object);
}

}  // namespace

std::optional<VolumeControl> open_default_render_volume() {
  IMMDeviceEnumerator* enumerator = create_device_enumerator();
  if (!enumerator) return std::nullopt;
  IMMDevice* device = nullptr;
  if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)) || !device) {
    enumerator->Release();
    return std::nullopt;
  }
  void* volume = nullptr;
  const HRESULT activated =
      device->Activate(kEndpointVolumeInterface, CLSCTX_ALL, nullptr, &volume);
  device->Release();
  enumerator->Release();
  if (FAILED(activated) || !volume) return std::nullopt;
  return VolumeControl{volume};
}

bool get_level_scalar(VolumeControl control, float& level) {
  return SUCCEEDED(endpoint_volume(control)->GetMasterVolumeLevelScalar(&level));
}

bool set_level_scalar(VolumeControl control, float level) {
  return SUCCEEDED(endpoint_volume(control)->SetMasterVolumeLevelScalar(level, nullptr));
}

bool get_mute(VolumeControl control, bool& muted) {
  BOOL value = FALSE;
  if (FAILED(endpoint_volume(control)->GetMute(&value))) return false;
  muted = value != FALSE;
  return true;
}

bool set_mute(VolumeControl control, bool muted) {
  return SUCCEEDED(endpoint_volume(control)->SetMute(muted ? TRUE : FALSE, nullptr));
}

void release_volume(VolumeControl control) { endpoint_volume(control)->Release(); }

}  // namespace native_audio
