#pragma once
// GET /api/music/info, /api/music/cover and /api/music/lyrics, each with a
// "path" taken exactly as the media route takes it.
#include "http/request.h"

// 200 and the track's compact JSON; 404 for a missing file, a folder or a
// file that is not audio.
void handle_music_info(Socket socket, const HttpRequest& request);
// 200 and the image bytes, typed by their signature; 404 when there is none.
void handle_music_cover(Socket socket, const HttpRequest& request);
// 200 and the lyrics as UTF-8 text, with the encoding found in the
// "X-Lyrics-Encoding" header; 404 when there are none.
void handle_music_lyrics(Socket socket, const HttpRequest& request);
