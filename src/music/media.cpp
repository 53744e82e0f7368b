#include "music/media.h"

#include <memory>
#include <new>

#include "http/lookup.h"
#include "http/response.h"
#include "music/kinds.h"
#include "music/media_head.h"
#include "music/media_path.h"
#include "music/music_request.h"
#include "music/range.h"
#include "music/tree.h"
#include "service/paths.h"
#include "text/utf.h"

namespace {

constexpr std::size_t kTransferChunk = 65536;

// Sends the head, then `length` bytes of the file from `first` on, through
// one bounded buffer; the head goes out together with the first chunk. Stops
// at the first failed send: a client that stopped reading must not keep the
// file open and the thread busy through one send time-out per remaining chunk.
void send_head_and_body(Socket socket, const Utf8String& head, FileHandle file, std::uint64_t first,
                        std::uint64_t length) {
  const long head_length = static_cast<long>(head.size());
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kTransferChunk]);
  if (!buffer || !platform().seek_file(file, first)) {
    send_all(socket, head.data(), head_length);
    return;
  }
  std::uint64_t remaining = length;
  bool head_sent = false;
  while (remaining > 0) {
    const std::size_t wanted = remaining < kTransferChunk ? remaining : kTransferChunk;
    const long got = platform().read_file(file, buffer.get(), wanted);
    if (got <= 0) break;  // the file shrank, or cannot be read
    const bool sent = head_sent
                          ? send_all(socket, buffer.get(), got)
                          : send_all_gathered(socket, head.data(), head_length, buffer.get(), got);
    if (!sent) return;
    head_sent = true;
    remaining -= static_cast<std::uint64_t>(got);
  }
  if (!head_sent) send_all(socket, head.data(), head_length);
}

}  // namespace

void stream_media_file(Socket socket, const WideString& full_path, const Utf8String& range) {
  const PlatformOps& os = platform();
  // Held against deletion and renaming while it streams.
  const FileHandle file = open_listed_file(full_path, DeleteSharing::refused);
  if (file == kNoFile) return send_music_not_found(socket);
  std::uint64_t size = 0;
  if (!os.file_size(file, size)) {
    os.close_file(file);
    return send_response(socket, 500, "Internal Server Error", kTextType, "size error");
  }
  RangeAnswer answer;
  if (!range.empty()) answer = evaluate_range(range, size);
  if (answer.kind == RangeKind::unsatisfiable) {
    send_unsatisfiable(socket, size);
    os.close_file(file);
    return;
  }
  const bool partial = answer.kind == RangeKind::partial;
  const std::uint64_t first = partial ? answer.first : 0;
  const std::uint64_t last = partial ? answer.last : (size > 0 ? size - 1 : 0);
  const std::uint64_t length = size > 0 ? last - first + 1 : 0;

  const Utf8String head = media_head(partial, mime_type_for(full_path), length, first, last, size);
  if (os.send_file != nullptr) {
    os.send_file(socket, head.data(), head.size(), file, first, length);
  } else {
    send_head_and_body(socket, head, file, first, length);
  }
  os.close_file(file);
}

void handle_music_media(Socket socket, const HttpRequest& request) {
  WideString full_path;
  const MusicPathCheck check = resolve_music_request(request, full_path);
  if (check != MusicPathCheck::ok) return send_music_path_error(socket, check);
  stream_media_file(socket, full_path, header_value(request.head, "Range"));
}
