#include "music/decoded.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "decode/decoded_range.h"
#include "decode/decoder.h"
#include "http/lookup.h"
#include "http/response.h"
#include "music/kinds.h"
#include "music/media_head.h"
#include "music/music_request.h"
#include "music/range.h"

namespace {

constexpr std::size_t kTransferChunk = 65536;
constexpr char kWavType[] = "audio/wav";

void send_not_decodable(Socket socket) {
  send_response(socket, 415, "Unsupported Media Type", kJsonType,
                "{\"error\":\"cannot decode\"}");
}

// Closes what one answer opened, on every path out.
struct OpenTrack {
  FileHandle file = kNoFile;
  DecoderState* state = nullptr;
  ~OpenTrack() {
    if (state != nullptr) decoder_ops().close(state);
    if (file != kNoFile) platform().close_file(file);
  }
};

// Hands out the data bytes in order, decoding as it goes. Where the audio
// ends before the promised length, silence stands in for the rest, so that
// every promised byte exists. A frame split between two fills, or cut by the
// start of the range, waits in `carry`.
struct DataSource {
  DecoderState* state;
  std::uint32_t frame_size;
  bool ended = false;
  char carry[64] = {};
  std::size_t carry_at = 0;
  std::size_t carry_end = 0;

  // Starts `skip` bytes into the current frame.
  bool start(std::uint64_t skip) {
    if (skip == 0) return true;
    if (!read_frames(carry, 1)) return false;
    carry_at = static_cast<std::size_t>(skip);
    carry_end = frame_size;
    return true;
  }

  // The next `count` bytes into `out`; false when the file cannot be read.
  bool fill(char* out, std::size_t count) {
    std::size_t done = std::min(carry_end - carry_at, count);
    std::memcpy(out, carry + carry_at, done);
    carry_at += done;
    const std::size_t whole = (count - done) / frame_size;
    if (whole > 0) {
      if (!read_frames(out + done, whole)) return false;
      done += whole * frame_size;
    }
    if (done < count) {
      if (!read_frames(carry, 1)) return false;
      carry_at = count - done;
      carry_end = frame_size;
      std::memcpy(out + done, carry, carry_at);
    }
    return true;
  }

  // Exactly `frames` frames, silence once the audio has ended.
  bool read_frames(char* out, std::size_t frames) {
    std::size_t got = 0;
    while (got < frames && !ended) {
      const long n = decoder_ops().read(state, out + got * frame_size, frames - got);
      if (n < 0) return false;
      if (n == 0) ended = true;
      got += static_cast<std::size_t>(n);
    }
    std::memset(out + got * frame_size, 0, (frames - got) * frame_size);
    return true;
  }
};

}  // namespace

void stream_decoded_file(Socket socket, const WideString& full_path, const Utf8String& range) {
  OpenTrack track;
  // Held against deletion and renaming while it streams, as by the media route.
  track.file = open_listed_file(full_path, DeleteSharing::refused);
  if (track.file == kNoFile) return send_music_not_found(socket);
  // Only audio goes to the decoder: lyrics and pictures are not its input.
  const auto cut = full_path.find_last_of(platform().path_separators);
  const char* kind = file_kind(cut == WideString::npos ? full_path : full_path.substr(cut + 1));
  if (kind == nullptr || std::strcmp(kind, "audio") != 0) return send_not_decodable(socket);
  DecodedTrack shape;
  track.state = decoder_ops().open(track.file, shape);
  const std::uint32_t frame_size = frame_bytes(shape);
  if (track.state == nullptr || frame_size == 0 || frame_size > 64 || shape.sample_rate == 0) {
    return send_not_decodable(socket);
  }
  const std::uint64_t frames = promised_frames(shape);
  const std::uint64_t size = decoded_size(shape, frames);

  RangeAnswer answer;
  if (!range.empty()) answer = evaluate_range(range, size);
  if (answer.kind == RangeKind::unsatisfiable) return send_unsatisfiable(socket, size);
  const bool partial = answer.kind == RangeKind::partial;
  const std::uint64_t first = partial ? answer.first : 0;
  const std::uint64_t last = partial ? answer.last : size - 1;
  const DecodedSpan span = map_decoded_range(first, last, kWavHeaderBytes, frame_size);
  if (span.data_count > 0 && span.first_frame > 0 &&
      !decoder_ops().seek(track.state, span.first_frame)) {
    return send_response(socket, 500, "Internal Server Error", kTextType, "seek error");
  }

  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kTransferChunk]);
  if (!buffer) return send_response(socket, 500, "Internal Server Error", kTextType, "no memory");
  Utf8String head = media_head(partial, kWavType, last - first + 1, first, last, size);
  head += wav_header(shape, frames).substr(span.header_first, span.header_count);

  DataSource data{track.state, frame_size};
  std::uint64_t remaining = span.data_count;
  bool head_sent = false;
  if (remaining > 0 && !data.start(span.skip)) remaining = 0;
  while (remaining > 0) {
    const std::size_t wanted = remaining < kTransferChunk ? remaining : kTransferChunk;
    if (!data.fill(buffer.get(), wanted)) break;  // the file cannot be read: a short stream
    const long got = static_cast<long>(wanted);
    const bool sent =
        head_sent ? send_all(socket, buffer.get(), got)
                  : send_all_gathered(socket, head.data(), static_cast<long>(head.size()),
                                      buffer.get(), got);
    // A client that stopped reading or went away stops the decoder here.
    if (!sent) return;
    head_sent = true;
    remaining -= wanted;
  }
  if (!head_sent) send_all(socket, head.data(), static_cast<long>(head.size()));
}

void handle_music_decoded(Socket socket, const HttpRequest& request) {
  WideString full_path;
  const MusicPathCheck check = resolve_music_request(request, full_path);
  if (check != MusicPathCheck::ok) return send_music_path_error(socket, check);
  stream_decoded_file(socket, full_path, header_value(request.head, "Range"));
}
