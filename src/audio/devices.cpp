#include "audio/layer.h"
#include "audio/routes.h"
#include "http/response.h"
#include "text/json.h"
#include "text/utf.h"

Utf8String list_audio_devices() {
  std::vector<EndpointInfo> endpoints;
  {
    ComScope com;
    endpoints = audio_layer().enumerate_render_endpoints();
  }
  Utf8String list = "[";
  bool first = true;
  for (const EndpointInfo& endpoint : endpoints) {
    const Utf8String id = utf16_to_utf8(endpoint.id);
    if (id.empty()) continue;
    const Utf8String name = endpoint.name.empty() ? id : utf16_to_utf8(endpoint.name);
    if (!first) list += ',';
    first = false;
    list += "{\"id\":\"";
    list += json_escape(id);
    list += "\",\"name\":\"";
    list += json_escape(name);
    list += "\",\"active\":";
    list += endpoint.active ? "true" : "false";
    list += '}';
  }
  list += ']';
  return list;
}

void serve_audio_devices(Socket socket, const HttpRequest&) {
  send_response(socket, 200, "OK", kJsonType, list_audio_devices());
}

void serve_audio_device(Socket socket, const HttpRequest& request) {
  Utf8String id;
  bool enable = false;
  const bool complete = json_get_string(request.body, "id", id) &&
                        json_get_bool(request.body, "enable", enable) && !id.empty();
  if (!complete) {
    send_response(socket, 400, "Bad Request", kJsonType, "{\"error\":\"missing id or enable\"}");
    return;
  }
  VisibilityStatus status;
  {
    ComScope com;
    status = audio_layer().change_endpoint_visibility(utf8_to_utf16(id), enable);
  }
  switch (status) {
    case VisibilityStatus::success:
      send_response(socket, 200, "OK", kJsonType, "{\"ok\":true}");
      return;
    case VisibilityStatus::access_denied:
      send_response(socket, 403, "Forbidden", kJsonType,
                    "{\"error\":\"access denied, need admin\"}");
      return;
    case VisibilityStatus::failed:
      break;
  }
  send_response(socket, 500, "Internal Server Error", kJsonType,
                "{\"error\":\"set endpoint visibility failed\"}");
}
