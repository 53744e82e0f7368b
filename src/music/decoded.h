#pragma once
// GET /api/music/decoded?path=<relative path>: one audio file of the music
// directory decoded to PCM in a WAV file whose length is promised up front,
// whole (200) or one byte range (206), or 416 when the range cannot be met.
// The path is taken as the media route takes it.
#include "http/request.h"

void handle_music_decoded(Socket socket, const HttpRequest& request);

// Sends the whole answer for one resolved file; `range` is the Range header's
// text, empty when there is none. Decoding runs only as fast as the client
// takes the bytes, and stops at the first send that fails or times out.
void stream_decoded_file(Socket socket, const WideString& full_path, const Utf8String& range);
