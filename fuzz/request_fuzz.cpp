// Reading one request from a scripted peer through the platform seam.
// Input: a flags byte (bit 0: the peer's last receive fails instead of
// closing), a byte that bounds the pieces the stream arrives in (0: all at
// once), then the bytes the peer sends.
#include "check.h"
#include "fake_platform.h"
#include "http/lookup.h"
#include "http/request.h"

namespace {

std::vector<std::string> cut_into_pieces(const std::string& stream, unsigned bound) {
  if (bound == 0) return {stream};
  std::vector<std::string> pieces;
  std::uint32_t state = bound * 2654435761u;
  for (std::size_t at = 0; at < stream.size();) {
    state = state * 1664525u + 1013904223u;
    const std::size_t length = 1 + (state >> 16) % bound;
    pieces.push_back(stream.substr(at, length));
    at += length;
  }
  return pieces;
}

// The request read must be exactly the one the stream holds, and there must
// be one whenever the stream holds a whole request; a head whose body cannot
// be framed is refused, and nothing after it is taken for a body.
void check_request(const std::string& stream, const RequestRead& read) {
  const std::size_t end = stream.find("\r\n\r\n");
  const std::string line = end == std::string::npos ? "" : stream.substr(0, stream.find("\r\n"));
  const bool usable = end != std::string::npos && line.find(' ') != std::string::npos;
  const ContentLength announced =
      usable ? parse_content_length(stream.substr(0, end)) : ContentLength{};
  const BodyFraming framing = announced.framing;
  const Refusal refusal = !usable                                   ? Refusal::none
                          : framing == BodyFraming::transfer_coding ? Refusal::transfer_coding
                          : framing == BodyFraming::bad_length      ? Refusal::bad_length
                                                                    : Refusal::none;
  FUZZ_CHECK(read.refusal == refusal);
  if (refusal != Refusal::none) FUZZ_CHECK(!read.request);
  // A body the peer ends short, or one announced over the cap, is no request.
  const std::string rest = usable ? stream.substr(end + 4) : "";
  const bool whole =
      framing == BodyFraming::length && rest.size() >= static_cast<std::size_t>(announced.length);
  FUZZ_CHECK(read.request.has_value() == (usable && whole));
  if (!read.request) return;
  const HttpRequest& request = *read.request;
  FUZZ_CHECK(request.head == stream.substr(0, end));
  FUZZ_CHECK(line.compare(0, request.method.size() + 1, request.method + " ") == 0);
  FUZZ_CHECK(line.compare(request.method.size() + 1, request.target.size(), request.target) == 0);
  FUZZ_CHECK(request.target.find(' ') == std::string::npos);
  FUZZ_CHECK(request.path == percent_decode(request.target.substr(0, request.target.find('?'))));
  // The body is what followed the head, cut to the announced length.
  FUZZ_CHECK(request.body == rest.substr(0, static_cast<std::size_t>(announced.length)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string stream(reinterpret_cast<const char*>(data) + 2, size - 2);
  PlatformOverride fake;
  use_scripted_peer(fake.ops);
  peer().chunks = cut_into_pieces(stream, data[1]);
  peer().after_chunks = (data[0] & 1) ? -1 : 0;
  const RequestRead read = read_request(kFakeSocket);
  if (stream.size() <= kHeadLimit) check_request(stream, read);
  return 0;
}
