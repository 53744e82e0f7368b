#include "library/routes.h"

#include <cstring>

#include "http/response.h"
#include "library/cover.h"
#include "library/file_bytes.h"
#include "library/lyrics.h"
#include "library/track_info.h"
#include "music/kinds.h"
#include "music/music_request.h"

void handle_music_info(Socket socket, const HttpRequest& request) {
  WideString full_path;
  const MusicPathCheck check = resolve_music_request(request, full_path);
  if (check != MusicPathCheck::ok) return send_music_path_error(socket, check);
  const char* kind = file_kind(name_of(full_path));
  TrackInfo info;
  if (kind == nullptr || std::strcmp(kind, "audio") != 0 || !read_track_info(full_path, info)) {
    return send_music_not_found(socket);
  }
  send_response(socket, 200, "OK", kJsonType, track_info_json(info));
}

void handle_music_cover(Socket socket, const HttpRequest& request) {
  WideString full_path;
  const MusicPathCheck check = resolve_music_request(request, full_path);
  if (check != MusicPathCheck::ok) return send_music_path_error(socket, check);
  CoverImage cover;
  if (!find_cover(full_path, cover)) return send_music_not_found(socket);
  send_response(socket, 200, "OK", cover.content_type, cover.bytes);
}

void handle_music_lyrics(Socket socket, const HttpRequest& request) {
  WideString full_path;
  const MusicPathCheck check = resolve_music_request(request, full_path);
  if (check != MusicPathCheck::ok) return send_music_path_error(socket, check);
  Lyrics lyrics;
  if (!read_lyrics(full_path, lyrics)) return send_music_not_found(socket);
  send_response_exposing(socket, 200, "OK", kTextType, "X-Lyrics-Encoding", lyrics.encoding,
                         lyrics.text);
}
