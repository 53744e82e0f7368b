#include "http/routes.h"

#include "audio/routes.h"
#include "http/response.h"
#include "library/library_route.h"
#include "library/routes.h"
#include "music/decoded.h"
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
  if (method == "GET" && path == "/api/music/info") return handle_music_info(socket, request);
  if (method == "GET" && path == "/api/music/cover") return handle_music_cover(socket, request);
  if (method == "GET" && path == "/api/music/lyrics") return handle_music_lyrics(socket, request);
  if (method == "GET" && path == "/api/music/decoded") return handle_music_decoded(socket, request);
  if (method == "GET" && path == "/api/music/library") return handle_music_library(socket);
  const bool sets = method == "POST" || method == "PUT";
  if (method == "GET" && path == "/api/audio/devices") return serve_audio_devices(socket, request);
  if (sets && path == "/api/audio/device") return serve_audio_device(socket, request);
  if (method == "GET" && path == "/api/audio/volume") return serve_volume_read(socket, request);
  if (sets && path == "/api/audio/volume") return serve_volume_set(socket, request);
  // The only prefix rule: "/api/data/" and at least one byte of name.
  static constexpr char kDataPrefix[] = "/api/data/";
  constexpr std::size_t kPrefixLength = sizeof kDataPrefix - 1;
  if (path.size() > kPrefixLength && path.compare(0, kPrefixLength, kDataPrefix) == 0) {
    return handle_document(socket, request, path.substr(kPrefixLength));
  }
  send_not_found(socket);
}
