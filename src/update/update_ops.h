#pragma once
// The self-update's own seam to the operating system: the HTTP GET, the
// SHA-256, the release signature check and key, the switch-off variable, the
// swap script's names and start, and the end of the process. File writes and
// pauses go through PlatformOps. Each platform fills the table in its own
// subdirectory (win32/, posix/); tests install a copy with members swapped.
#include <cstddef>
#include <cstdint>

#include "text/strings.h"

// Where one GET delivers what came back: the head once, then the body.
struct HttpResponseSink {
  void* context;
  // The status code, the Location header's value (empty when there is none)
  // and the announced Content-Length (-1 when there is none). False means
  // the body is not wanted.
  bool (*head)(void* context, long status, const Utf8String& location, long long announced);
  // The next piece of the body; false stops the transfer.
  bool (*body)(void* context, const char* data, std::size_t length);
  // When the whole request must be over, on the clock of
  // PlatformOps::monotonic_ms. It may move once the head has come (a longer
  // body earns more time); the binding asks again before every wait and ends
  // the request as it passes.
  std::uint64_t (*deadline_ms)(void* context);
};

enum class HttpOutcome {
  no_response,  // bad URL, or no response head: resolve, connect, send or receive failed
  done,         // the head came, and the body was read to its end or refused by the sink
  broken,       // the head came, but reading the body failed on the way
};

inline constexpr std::size_t kSha256Size = 32;

enum class ExecutableKind {
  pe_x86_64,   // a PE image for the x86-64 machine
  elf_x86_64,  // a 64-bit little-endian ELF executable or shared object for x86-64
};
// An ECDSA P-256 public key as its uncompressed point: 0x04, X, Y.
inline constexpr std::size_t kP256KeySize = 65;
// An ECDSA P-256 signature as r then s, each 32 bytes big-endian.
inline constexpr std::size_t kP256SignatureSize = 64;

struct UpdateOps {
  // True when the switch-off variable exists, whatever its value.
  bool (*switched_off)();
  // One GET of an absolute http or https URL with the agent
  // "ZelvoTessavinServer". Redirects are not followed: the caller decides.
  // Every wait (resolve, connect, send, receive) is bounded by timeout_ms,
  // and the whole request by the sink's deadline; https is verified against
  // the platform's trust.
  HttpOutcome (*http_get_once)(const WideString& url, std::uint32_t timeout_ms,
                               const HttpResponseSink& sink);
  // SHA-256 of `data`; false when it cannot be computed.
  bool (*sha256)(const Utf8String& data, unsigned char (&digest)[kSha256Size]);
  // True when `signature` is a valid ECDSA P-256 signature of the SHA-256
  // `digest` under `key`; false for a bad signature, a key that is not a point
  // of the curve, or when the check cannot be made.
  bool (*verify_p256)(const unsigned char (&key)[kP256KeySize],
                      const unsigned char (&digest)[kSha256Size],
                      const unsigned char (&signature)[kP256SignatureSize]);
  // The release public key this build trusts, as 130 hex digits of the
  // point; empty in builds made without one, which never install a release
  // unless they are test builds (below).
  const char* release_public_key;
  // Test builds only, and only without a key: install unsigned releases, from
  // loopback addresses only. Off in every build a user runs.
  bool unsigned_test_updates;
  // The platform line of the signed text ("windows-x86_64"), the manifest
  // entry this build reads ("tessavin-server"), and the executable format a
  // release file must have to be written at all.
  const char* platform_name;
  const char* manifest_entry;
  ExecutableKind executable_kind;

  // File names in the base directory and the swap script's text.
  const char16_t* new_executable_name;
  const char16_t* swap_script_name;
  const char* swap_script_text;
  // Starts the swap script at `script_path` hidden and detached, so that it
  // outlives this process; false when it could not be started.
  bool (*start_swap_script)(const WideString& script_path, const WideString& base_directory);
  // Ends the process at once with `code`; returns only in tests.
  void (*exit_process)(int code);
};

// The table in force: the platform's own unless a test installed another.
const UpdateOps& update_ops();
// The platform's own table, defined by the binding.
const UpdateOps& native_update_ops();
// Installs `ops` (or the native table again for nullptr). Tests only.
void set_update_ops(const UpdateOps* ops);
