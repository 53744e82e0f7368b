#include "http/refusal.h"

#include "http/response.h"

namespace {

void drain(Socket socket) {
  const PlatformOps& os = platform();
  const std::uint64_t deadline = os.monotonic_ms() + kDrainMs;
  char chunk[kReceiveChunk];
  for (;;) {
    const std::uint64_t now = os.monotonic_ms();
    if (now >= deadline) return;
    os.set_receive_timeout(socket, static_cast<unsigned>(deadline - now));
    if (os.receive(socket, chunk, kReceiveChunk) <= 0) return;
  }
}

}  // namespace

void refuse_request(Socket socket, Refusal refusal) {
  if (refusal == Refusal::transfer_coding) {
    send_response(socket, 501, "Not Implemented", kJsonType,
                  "{\"error\":\"transfer-encoding not supported\"}");
  } else {
    send_response(socket, 400, "Bad Request", kJsonType, "{\"error\":\"invalid content-length\"}");
  }
  platform().shutdown_send(socket);
  drain(socket);
}
