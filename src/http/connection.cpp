#include "http/connection.h"

#include <exception>

#include "http/request.h"
#include "http/routes.h"

void handle_connection(Socket socket) {
  const PlatformOps& os = platform();
  os.set_timeouts(socket, kSocketTimeoutMs);
  // Nothing may escape a connection thread: whatever goes wrong while one
  // request is served ends that connection only.
  try {
    if (const auto request = read_request(socket)) dispatch_request(socket, *request);
  } catch (const std::exception&) {
  }
  os.close_socket(socket);
}
