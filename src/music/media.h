#pragma once
// GET /api/music/media?path=<relative path>: one file of the music directory,
// whole (200) or one byte range (206), or 416 when the range cannot be met.
#include "http/request.h"

void handle_music_media(Socket socket, const HttpRequest& request);

// Sends the whole answer for one resolved file; `range` is the Range header's
// text, empty when there is none. Only a file of a listed kind is opened;
// anything else answers 404 as a missing file does. The body moves through
// one fixed buffer, and the transfer stops at the first send that fails or
// times out.
void stream_media_file(Socket socket, const WideString& full_path, const Utf8String& range);
