#include "http/connection.h"

#include <exception>

#include "http/refusal.h"
#include "http/request.h"
#include "http/routes.h"

void handle_connection(Socket socket) {
  const PlatformOps& os = platform();
  os.set_timeouts(socket, kSocketTimeoutMs);
  // Nothing may escape a connection thread: whatever goes wrong while one
  // request is served ends that connection only.
  try {
    const RequestRead read = read_request(socket);
    if (read.request) {
      dispatch_request(socket, *read.request);
    } else if (read.refusal != Refusal::none) {
      refuse_request(socket, read.refusal);
    }
  } catch (const std::exception&) {
  }
  os.close_socket(socket);
}
