#pragma once
// What each platform binding (win32/, posix/) defines: one function or
// constant per member of the update table; each keeps the contract stated
// beside that member in update_ops.h.
#include "update/update_ops.h"

namespace native_update {

extern const char16_t kNewExecutableName[];
extern const char16_t kSwapScriptName[];
extern const char kSwapScriptText[];
extern const char kPlatformName[];
extern const char kManifestEntry[];
extern const ExecutableKind kExecutableKind;

bool switched_off();
HttpOutcome http_get_once(const WideString& url, std::uint32_t timeout_ms,
                          const HttpResponseSink& sink);
bool sha256(const Utf8String& data, unsigned char (&digest)[kSha256Size]);
bool verify_p256(const unsigned char (&key)[kP256KeySize],
                 const unsigned char (&digest)[kSha256Size],
                 const unsigned char (&signature)[kP256SignatureSize]);
bool start_swap_script(const WideString& script_path, const WideString& base_directory);
void exit_process(int code);

}  // namespace native_update
