// The decoder seam over FFmpeg's libraries: demuxing and decoding through
// libavformat and libavcodec, sample-format conversion through libswresample.
// The library reads only through the platform seam's file operations (a
// custom I/O context; no protocol is built in), and only the demuxers and
// decoders of the kinds the music tree lists are allowed, a second fence
// behind the minimal build. FFmpeg's types stay in this file.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "decode/decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int kIoBufferBytes = 32768;
constexpr char kFormats[] = "mp3,flac,wav,mov,mp4,m4a,aac,ogg,asf,ape";
constexpr char kCodecs[] =
    "mp3float,mp3,flac,pcm_u8,pcm_s16le,pcm_s24le,pcm_s32le,pcm_f32le,pcm_f64le,aac,alac,"
    "vorbis,opus,wmav1,wmav2,wmapro,wmalossless,ape";
constexpr std::uint32_t kMostChannels = 8;
// No single allocation of the libraries may exceed this: a crafted header
// that claims a frame of gigabytes is refused instead of backed by memory.
// Real frames, sample tables and seek indexes of long files stay far below.
constexpr std::size_t kLargestAllocation = 64u << 20;
// Seeks that land past their target back off this far once more, and after
// so many tries the decode starts from the beginning.
constexpr int kSeekTries = 4;

}  // namespace

struct DecoderState {
  FileHandle file = kNoFile;
  std::uint64_t file_position = 0;
  bool read_failed = false;

  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  SwrContext* swr = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int stream = -1;
  AVRational time_base{1, 1};
  bool coarse_clock = false;  // a timestamp step is longer than one sample
  std::uint64_t frame_step = 0;  // samples in the first decoded frame
  DecodedTrack track;
  std::uint64_t preroll = 0;  // frames decoded ahead of a seek target
  // WMA Lossless carries frames across ASF packets, whose timestamps are
  // milliseconds: after a demuxer seek its output cannot be placed exactly,
  // so it seeks by decoding from the start instead.
  bool seeks_by_decoding = false;

  // The format and layout swr was set up for.
  int swr_format = -1;
  int swr_rate = 0;
  AVChannelLayout swr_layout{};

  std::int64_t origin = AV_NOPTS_VALUE;  // timestamp of the first frame of the audio
  bool placing = true;                   // the next decoded frame fixes `position`
  std::uint64_t position = 0;            // frame index of pending[pending_at]
  std::uint64_t target = 0;              // frames before this are dropped
  std::vector<std::uint8_t> pending;     // converted PCM not handed out yet
  std::size_t pending_at = 0;
  bool input_ended = false;  // the demuxer ran out; the decoder is draining
  bool ended = false;
};

namespace {

int read_packet(void* opaque, std::uint8_t* buffer, int size) {
  auto* state = static_cast<DecoderState*>(opaque);
  const long got = platform().read_file(state->file, reinterpret_cast<char*>(buffer),
                                        static_cast<std::size_t>(size));
  if (got < 0) {
    state->read_failed = true;
    return AVERROR(EIO);
  }
  if (got == 0) return AVERROR_EOF;
  state->file_position += static_cast<std::uint64_t>(got);
  return static_cast<int>(got);
}

std::int64_t seek_packet(void* opaque, std::int64_t offset, int whence) {
  auto* state = static_cast<DecoderState*>(opaque);
  std::uint64_t size = 0;
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) {
    return platform().file_size(state->file, size) ? static_cast<std::int64_t>(size) : -1;
  }
  std::int64_t base = 0;
  if (whence == SEEK_CUR) {
    base = static_cast<std::int64_t>(state->file_position);
  } else if (whence == SEEK_END) {
    if (!platform().file_size(state->file, size)) return -1;
    base = static_cast<std::int64_t>(size);
  } else if (whence != SEEK_SET) {
    return -1;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  const auto to = static_cast<std::uint64_t>(base + offset);
  if (!platform().seek_file(state->file, to)) {
    state->read_failed = true;
    return AVERROR(EIO);
  }
  state->file_position = to;
  return static_cast<std::int64_t>(to);
}

void close_state(DecoderState* state) {
  swr_free(&state->swr);
  av_channel_layout_uninit(&state->swr_layout);
  av_frame_free(&state->frame);
  av_packet_free(&state->packet);
  avcodec_free_context(&state->codec);
  avformat_close_input(&state->format);
  if (state->io != nullptr) {
    av_freep(&state->io->buffer);
    avio_context_free(&state->io);
  }
  delete state;
}

bool is_lossless(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_ALAC:
    case AV_CODEC_ID_APE:
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F64LE:
      return true;
    default:
      return false;
  }
}

// The stream's timestamp `ts` as a frame index from the start of the audio.
std::int64_t frame_index(const DecoderState& state, std::int64_t ts) {
  return av_rescale_q_rnd(ts - state.origin, state.time_base,
                          AVRational{1, static_cast<int>(state.track.sample_rate)},
                          static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

bool set_up_conversion(DecoderState& state, const AVFrame& frame) {
  if (state.swr != nullptr && state.swr_format == frame.format &&
      state.swr_rate == frame.sample_rate &&
      av_channel_layout_compare(&state.swr_layout, &frame.ch_layout) == 0) {
    return true;
  }
  swr_free(&state.swr);
  av_channel_layout_uninit(&state.swr_layout);
  AVChannelLayout out{};
  av_channel_layout_default(&out, static_cast<int>(state.track.channels));
  const AVSampleFormat out_format = state.track.bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
  AVChannelLayout in{};
  if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&in, frame.ch_layout.nb_channels);
  } else if (av_channel_layout_copy(&in, &frame.ch_layout) < 0) {
    return false;
  }
  const int made = swr_alloc_set_opts2(
      &state.swr, &out, out_format, static_cast<int>(state.track.sample_rate), &in,
      static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
  av_channel_layout_uninit(&out);
  if (made < 0 || swr_init(state.swr) < 0) {
    av_channel_layout_uninit(&in);
    swr_free(&state.swr);
    return false;
  }
  state.swr_layout = in;
  state.swr_format = frame.format;
  state.swr_rate = frame.sample_rate;
  return true;
}

// Appends the frame's samples to `pending` in the output format. 24-bit
// output keeps the top three bytes of each 32-bit sample.
bool convert(DecoderState& state, const AVFrame& frame, std::uint64_t drop) {
  if (frame.nb_samples <= 0 || frame.ch_layout.nb_channels <= 0 || frame.sample_rate <= 0) {
    return true;
  }
  if (!set_up_conversion(state, frame)) return false;
  const int room = swr_get_out_samples(state.swr, frame.nb_samples);
  if (room <= 0) return true;
  const std::size_t sample_bytes = state.track.bits == 16 ? 2 : 4;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(room) * state.track.channels *
                                sample_bytes);
  std::uint8_t* planes[1] = {out.data()};
  const int made = swr_convert(state.swr, planes, room,
                               const_cast<const std::uint8_t**>(frame.extended_data),
                               frame.nb_samples);
  if (made <= 0) return made == 0;
  std::uint64_t count = static_cast<std::uint64_t>(made);
  if (drop >= count) return true;
  const std::size_t first_sample = static_cast<std::size_t>(drop) * state.track.channels;
  const std::size_t samples = static_cast<std::size_t>(count - drop) * state.track.channels;
  // Consumed bytes at the front are let go first, so `pending` stays small.
  if (state.pending_at > 0) {
    state.pending.erase(state.pending.begin(),
                        state.pending.begin() + static_cast<std::ptrdiff_t>(state.pending_at));
    state.pending_at = 0;
  }
  if (sample_bytes == 2) {
    const std::uint8_t* from = out.data() + first_sample * 2;
    state.pending.insert(state.pending.end(), from, from + samples * 2);
  } else {
    const std::size_t at = state.pending.size();
    state.pending.resize(at + samples * 3);
    const std::uint8_t* from = out.data() + first_sample * 4;
    std::uint8_t* to = state.pending.data() + at;
    for (std::size_t i = 0; i < samples; ++i, from += 4, to += 3) {
      to[0] = from[1];
      to[1] = from[2];
      to[2] = from[3];
    }
  }
  return true;
}

// Decodes the next frame into the state's frame: 1 when there is one, 0 at
// the end of the audio, -1 when the file cannot be read. Packets the decoder
// refuses are passed over, as a player would.
int decode_next(DecoderState& state) {
  for (;;) {
    const int received = avcodec_receive_frame(state.codec, state.frame);
    if (received == 0) return 1;
    if (received == AVERROR_EOF) return 0;
    if (received != AVERROR(EAGAIN)) {
      if (state.input_ended) return 0;
      continue;  // a broken frame; the decoder goes on with the next packet
    }
    if (state.input_ended) return 0;
    const int got = av_read_frame(state.format, state.packet);
    if (got < 0) {
      if (state.read_failed) return -1;
      state.input_ended = true;
      avcodec_send_packet(state.codec, nullptr);  // drains the last frames
      continue;
    }
    if (state.packet->stream_index == state.stream) {
      avcodec_send_packet(state.codec, state.packet);
    }
    av_packet_unref(state.packet);
  }
}

// Decodes frames until some PCM at or after `target` is pending: 1, or 0 at
// the end, -1 when the file cannot be read, 2 when the first frame after a
// seek began past the target (the seek landed too late).
int fill_pending(DecoderState& state) {
  while (state.pending_at >= state.pending.size()) {
    if (state.read_failed) return -1;  // never reported as the end of the audio
    if (state.ended) return 0;
    const int got = decode_next(state);
    if (got <= 0) {
      state.ended = true;
      return got;
    }
    const std::int64_t ts = state.frame->best_effort_timestamp;
    const auto samples = static_cast<std::uint64_t>(std::max(state.frame->nb_samples, 0));
    if (state.placing) {
      state.placing = false;
      if (state.origin == AV_NOPTS_VALUE) state.origin = ts == AV_NOPTS_VALUE ? 0 : ts;
      if (ts != AV_NOPTS_VALUE) {
        std::int64_t index = frame_index(state, ts);
        // Where timestamps are coarser than a sample (milliseconds in ASF),
        // frames still start on whole multiples of the codec's frame length,
        // which the first frame shows (a last frame may be shorter).
        if (state.frame_step == 0) state.frame_step = samples;
        if (state.coarse_clock && state.frame_step > 0) {
          const auto step = static_cast<std::int64_t>(state.frame_step);
          index = (index + step / 2) / step * step;
        }
        state.position = index > 0 ? static_cast<std::uint64_t>(index) : 0;
      }
      if (state.position > state.target) {
        av_frame_unref(state.frame);
        return 2;
      }
    }
    const std::uint64_t start = state.position;
    state.position += samples;
    std::uint64_t drop = 0;
    if (start < state.target) drop = std::min(samples, state.target - start);
    const bool converted = convert(state, *state.frame, drop);
    av_frame_unref(state.frame);
    if (!converted) {
      state.ended = true;
      return 0;
    }
    if (state.pending_at < state.pending.size()) {
      // `position` now names the first pending frame.
      state.position = state.position - (state.pending.size() - state.pending_at) /
                                            frame_bytes(state.track);
    }
  }
  return 1;
}

// Puts the demuxer at or before `start` and the decoder in a fresh state.
bool reposition(DecoderState& state, std::uint64_t start, std::uint64_t target) {
  const std::int64_t ts =
      state.origin + av_rescale_q(static_cast<std::int64_t>(start),
                                  AVRational{1, static_cast<int>(state.track.sample_rate)},
                                  state.time_base);
  const bool moved = avformat_seek_file(state.format, state.stream, INT64_MIN, ts, ts, 0) >= 0 ||
                     av_seek_frame(state.format, state.stream, ts, AVSEEK_FLAG_BACKWARD) >= 0;
  avcodec_flush_buffers(state.codec);
  if (state.swr != nullptr) swr_init(state.swr);
  state.pending.clear();
  state.pending_at = 0;
  state.placing = true;
  state.position = start;
  state.target = target;
  state.input_ended = false;
  // Where the demuxer finds no packet to go to (a file that is all header,
  // or breaks off before the target), the audio has ended there, as a
  // decode from the start would find: silence follows.
  state.ended = !moved;
  return !state.read_failed;
}

DecoderState* ffmpeg_open(FileHandle file, DecodedTrack& track) {
  // Process-wide settings of the libraries, made once before any decode.
  static const bool configured = [] {
    av_log_set_level(AV_LOG_QUIET);
    av_max_alloc(kLargestAllocation);
    return true;
  }();
  (void)configured;
  auto* state = new (std::nothrow) DecoderState;
  if (state == nullptr) return nullptr;
  state->file = file;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
  if (buffer == nullptr) {
    close_state(state);
    return nullptr;
  }
  state->io = avio_alloc_context(buffer, kIoBufferBytes, 0, state, read_packet, nullptr,
                                 seek_packet);
  state->format = avformat_alloc_context();
  state->packet = av_packet_alloc();
  state->frame = av_frame_alloc();
  if (state->io == nullptr || state->format == nullptr || state->packet == nullptr ||
      state->frame == nullptr) {
    if (state->io == nullptr) av_free(buffer);
    close_state(state);
    return nullptr;
  }
  state->format->pb = state->io;
  state->format->flags |= AVFMT_FLAG_CUSTOM_IO;
  state->format->format_whitelist = av_strdup(kFormats);
  state->format->codec_whitelist = av_strdup(kCodecs);
  if (avformat_open_input(&state->format, nullptr, nullptr, nullptr) < 0) {
    state->format = nullptr;  // freed by the failed open
    close_state(state);
    return nullptr;
  }
  if (avformat_find_stream_info(state->format, nullptr) < 0) {
    close_state(state);
    return nullptr;
  }
  const AVCodec* codec = nullptr;
  state->stream = av_find_best_stream(state->format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (state->stream < 0 || codec == nullptr) {
    close_state(state);
    return nullptr;
  }
  AVStream* stream = state->format->streams[state->stream];
  for (unsigned i = 0; i < state->format->nb_streams; ++i) {
    if (static_cast<int>(i) != state->stream) state->format->streams[i]->discard = AVDISCARD_ALL;
  }
  state->codec = avcodec_alloc_context3(codec);
  if (state->codec == nullptr ||
      avcodec_parameters_to_context(state->codec, stream->codecpar) < 0) {
    close_state(state);
    return nullptr;
  }
  state->codec->codec_whitelist = av_strdup(kCodecs);
  state->codec->thread_count = 1;  // one connection, one thread
  state->codec->pkt_timebase = stream->time_base;
  if (avcodec_open2(state->codec, codec, nullptr) < 0) {
    close_state(state);
    return nullptr;
  }
  const int channels = state->codec->ch_layout.nb_channels;
  const int rate = state->codec->sample_rate;
  if (channels < 1 || channels > static_cast<int>(kMostChannels) || rate < 1 || rate > 768000 ||
      stream->time_base.num <= 0 || stream->time_base.den <= 0) {
    close_state(state);
    return nullptr;
  }
  state->track.channels = static_cast<std::uint32_t>(channels);
  state->track.sample_rate = static_cast<std::uint32_t>(rate);
  const AVSampleFormat format = state->codec->sample_fmt;
  const bool wide = format == AV_SAMPLE_FMT_S32 || format == AV_SAMPLE_FMT_S32P;
  state->track.bits = wide && state->codec->bits_per_raw_sample > 16 ? 24 : 16;
  state->time_base = stream->time_base;
  state->coarse_clock = av_cmp_q(stream->time_base, AVRational{1, rate}) > 0;

  const AVRational per_sample{1, rate};
  std::int64_t frames = -1;
  if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    frames = av_rescale_q(stream->duration, stream->time_base, per_sample);
  } else if (state->format->duration != AV_NOPTS_VALUE && state->format->duration > 0) {
    frames = av_rescale_q(state->format->duration, AV_TIME_BASE_Q, per_sample);
  }
  if (frames < 0) {
    close_state(state);
    return nullptr;
  }
  state->track.frames = static_cast<std::uint64_t>(frames);

  state->seeks_by_decoding = state->codec->codec_id == AV_CODEC_ID_WMALOSSLESS;
  if (!is_lossless(state->codec->codec_id)) {
    // Lossy decoders need their previous frames: the overlap of the
    // transform, the bit reservoir of MP3, the pre-roll Opus asks for.
    const std::int64_t asked = stream->codecpar->seek_preroll;
    state->preroll = std::max<std::uint64_t>(8192, asked > 0 ? 2 * asked : 0);
  }
  // The first frame fixes the timestamp of frame 0.
  const int first = fill_pending(*state);
  if (first < 0) {
    close_state(state);
    return nullptr;
  }
  track = state->track;
  return state;
}

bool ffmpeg_seek(DecoderState* state, std::uint64_t frame) {
  if (state->seeks_by_decoding && frame < state->position) {
    if (!reposition(*state, 0, frame)) return false;
    state->position = 0;
    if (fill_pending(*state) < 0) return false;
  }
  const bool near = frame - state->position < state->preroll + 1 || state->seeks_by_decoding;
  if (frame >= state->position && !state->placing && near &&
      state->pending_at < state->pending.size()) {
    // Just ahead: decoding on is cheaper than a seek, and as exact.
    state->target = frame;
    const std::size_t bytes = frame_bytes(state->track);
    const std::uint64_t skip = frame - state->position;
    const std::uint64_t have = (state->pending.size() - state->pending_at) / bytes;
    const std::uint64_t taken = std::min(skip, have);
    state->pending_at += static_cast<std::size_t>(taken * bytes);
    state->position += taken;
    return true;
  }
  std::uint64_t back = state->preroll;
  for (int attempt = 0; attempt < kSeekTries; ++attempt) {
    const std::uint64_t start = frame > back ? frame - back : 0;
    if (!reposition(*state, start, frame)) return false;
    const int got = fill_pending(*state);
    if (got < 0) return false;
    if (got != 2) return true;
    if (start == 0) break;
    back = back * 2 + state->track.sample_rate;
  }
  // From the very start; slow, but exact.
  if (!reposition(*state, 0, frame)) return false;
  state->position = 0;
  const int got = fill_pending(*state);
  return got >= 0;
}

long ffmpeg_read(DecoderState* state, char* buffer, std::size_t frames) {
  const std::size_t bytes = frame_bytes(state->track);
  std::size_t done = 0;
  while (done < frames) {
    const int got = fill_pending(*state);
    if (got < 0) return done > 0 ? static_cast<long>(done) : -1;
    if (got == 0 || got == 2) break;
    const std::size_t have = (state->pending.size() - state->pending_at) / bytes;
    const std::size_t taken = std::min(have, frames - done);
    std::memcpy(buffer + done * bytes, state->pending.data() + state->pending_at, taken * bytes);
    state->pending_at += taken * bytes;
    state->position += taken;
    done += taken;
  }
  return static_cast<long>(done);
}

void ffmpeg_close(DecoderState* state) { close_state(state); }

const DecoderOps kFfmpegOps = {ffmpeg_open, ffmpeg_seek, ffmpeg_read, ffmpeg_close};

}  // namespace

const DecoderOps& library_decoder_ops() { return kFfmpegOps; }
