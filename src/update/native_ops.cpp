#include "update/binding.h"
#include "update/release_location.h"

const UpdateOps& native_update_ops() {
  static const UpdateOps ops = {
      .switched_off = native_update::switched_off,
      .http_get_once = native_update::http_get_once,
      .sha256 = native_update::sha256,
      .verify_p256 = native_update::verify_p256,
      .release_public_key = kReleasePublicKey,
      .unsigned_test_updates = kUnsignedTestUpdates,
      .platform_name = native_update::kPlatformName,
      .manifest_entry = native_update::kManifestEntry,
      .executable_kind = native_update::kExecutableKind,
      .new_executable_name = native_update::kNewExecutableName,
      .swap_script_name = native_update::kSwapScriptName,
      .swap_script_text = native_update::kSwapScriptText,
      .start_swap_script = native_update::start_swap_script,
      .exit_process = native_update::exit_process,
  };
  return ops;
}
