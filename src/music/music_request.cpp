#include "music/music_request.h"

#include "http/lookup.h"
#include "http/response.h"
#include "music/kinds.h"
#include "music/media_path.h"
#include "music/tree.h"
#include "service/paths.h"
#include "text/utf.h"

MusicPathCheck resolve_music_request(const HttpRequest& request, WideString& full_path) {
  const Utf8String requested = query_param(request.target, "path");
  if (!is_acceptable_media_path(requested)) return MusicPathCheck::invalid;
  const WideString root = music_root();
  if (!resolve_media_path(root, join_path(root, utf8_to_utf16(requested)), full_path)) {
    return MusicPathCheck::forbidden;
  }
  return MusicPathCheck::ok;
}

void send_music_path_error(Socket socket, MusicPathCheck check) {
  if (check == MusicPathCheck::invalid) {
    return send_response(socket, 400, "Bad Request", kJsonType, "{\"error\":\"invalid path\"}");
  }
  send_response(socket, 403, "Forbidden", kJsonType, "{\"error\":\"forbidden\"}");
}

void send_music_not_found(Socket socket) {
  send_response(socket, 404, "Not Found", kJsonType, "{\"error\":\"not found\"}");
}

bool is_listed_kind(const WideString& full_path) {
  const auto cut = full_path.find_last_of(platform().path_separators);
  return file_kind(cut == WideString::npos ? full_path : full_path.substr(cut + 1)) != nullptr;
}

FileHandle open_listed_file(const WideString& full_path, DeleteSharing sharing) {
  if (!is_listed_kind(full_path)) return kNoFile;
  const PlatformOps& os = platform();
  const FileHandle file = os.open_for_read(full_path, sharing);
  if (file == kNoFile) return kNoFile;
  // The name asked for need not be the file's own: on Windows the short name
  // DIARY~1.APE opens diary.apex, and a link may carry any name. The kind
  // must hold for the file actually opened, and when its name cannot be told
  // the file is not served.
  WideString opened;
  if (!os.opened_path(file, full_path, opened) || !is_listed_kind(opened)) {
    os.close_file(file);
    return kNoFile;
  }
  return file;
}
