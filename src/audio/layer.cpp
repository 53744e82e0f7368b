#include "audio/layer.h"

#include "audio/binding.h"

namespace {
const AudioOps* g_audio = nullptr;
}

const AudioOps& native_audio_layer() {
  static const AudioOps ops = {
      .initialise_thread = native_audio::initialise_thread,
      .uninitialise_thread = native_audio::uninitialise_thread,
      .enumerate_render_endpoints = native_audio::enumerate_render_endpoints,
      .change_endpoint_visibility = native_audio::change_endpoint_visibility,
      .open_default_render_volume = native_audio::open_default_render_volume,
      .get_level_scalar = native_audio::get_level_scalar,
      .set_level_scalar = native_audio::set_level_scalar,
      .get_mute = native_audio::get_mute,
      .set_mute = native_audio::set_mute,
      .release_volume = native_audio::release_volume,
  };
  return ops;
}

const AudioOps& audio_layer() { return g_audio ? *g_audio : native_audio_layer(); }

void set_audio_layer(const AudioOps* ops) { g_audio = ops; }
