#include "store/handlers.h"

#include "http/response.h"
#include "service/atomic_write.h"
#include "service/platform.h"
#include "store/documents.h"

void handle_document_list(Socket socket) {
  send_response(socket, 200, "OK", kJsonType, list_documents());
}

void handle_document(Socket socket, const HttpRequest& request, const Utf8String& name) {
  if (!is_valid_document_name(name)) {
    return send_response(socket, 400, "Bad Request", kJsonType, "{\"error\":\"invalid name\"}");
  }
  const WideString path = document_path(name);
  const Utf8String& method = request.method;
  if (method == "GET") {
    Utf8String content;
    if (!read_whole_file(path, content)) {
      return send_response(socket, 404, "Not Found", kJsonType, "{\"error\":\"not found\"}");
    }
    return send_response(socket, 200, "OK", kJsonType, content);
  }
  if (method == "PUT" || method == "POST") {
    static const Utf8String kNull = "null";
    const Utf8String& content = request.body.empty() ? kNull : request.body;
    if (!write_file_atomic(path, content)) {
      return send_response(socket, 500, "Internal Server Error", kJsonType,
                           "{\"error\":\"write failed\"}");
    }
    return send_response(socket, 200, "OK", kJsonType, "{\"ok\":true}");
  }
  if (method == "DELETE") {
    // Deleting a document that is not there is no error.
    platform().delete_file(path);
    return send_response(socket, 200, "OK", kJsonType, "{\"ok\":true}");
  }
  send_not_found(socket);
}
