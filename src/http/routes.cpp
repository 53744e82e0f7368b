#include "http/routes.h"

#include "http/response.h"
#include "music/media.h"
#include "music/tree.h"
#include "service/version.h"
#include "store/handlers.h"

namespace {

void send_preflight(Socket socket) { send_response(socket, 204, "No Content", kTextType, ""); }

void send_ping(Socket socket) {
  send_response(socket, 200, "OK", kJsonType,
                Utf8String("{\"ok\":true,\"service\":\"zelvo-tessavin\",\"version\":\"") +
                    kServiceVersion + "\"}");
}

}  // namespace

// Tried from the top; the first row whose method and path both match answers.
// Paths compare whole and case-sensitively, with no slash tolerance.
void dispatch_request(Socket socket, const HttpRequest& request) {
  const Utf8String& method = request.method;
  const Utf8String& path = request.path;
  if (method == "OPTIONS") return send_preflight(socket);
  if (method == "GET" && path == "/api/ping") return send_ping(socket);
  if (method == "GET" && path == "/api/list") return handle_document_list(socket);
  if (method == "GET" && path == "/api/music/tree") return handle_music_tree(socket);
  if (method == "GET" && path == "/api/music/media") return handle_music_media(socket, request);
  // Audio devices (GET /api/audio/devices), device visibility (POST|PUT
  // /api/audio/device) and volume (GET and POST|PUT /api/audio/volume) take
  // their places here, in that order.
  // The only prefix rule: "/api/data/" and at least one byte of name.
  static constexpr char kDataPrefix[] = "/api/data/";
  constexpr std::size_t kPrefixLength = sizeof kDataPrefix - 1;
  if (path.size() > kPrefixLength && path.compare(0, kPrefixLength, kDataPrefix) == 0) {
    return handle_document(socket, request, path.substr(kPrefixLength));
  }
  send_not_found(socket);
}
