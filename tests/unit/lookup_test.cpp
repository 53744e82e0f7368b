#include "http/lookup.h"

#include <gtest/gtest.h>

namespace {

constexpr BodyFraming kLength = BodyFraming::length;
constexpr BodyFraming kOverCap = BodyFraming::over_cap;
constexpr BodyFraming kBad = BodyFraming::bad_length;
constexpr BodyFraming kCoded = BodyFraming::transfer_coding;

TEST(ParseContentLength, ReadsOneFieldOfPlainDigits) {
  const struct {
    const char* head;
    BodyFraming framing;
    std::int64_t length;
  } cases[] = {
      {"POST /x HTTP/1.1\r\ncontent-length:5", kLength, 5},
      {"POST /x HTTP/1.1\r\nCONTENT-LENGTH: 5", kLength, 5},
      {"POST /x HTTP/1.1\r\nContent-Length: \t 12 \t\r\nHost: a", kLength, 12},
      {"POST /x HTTP/1.1\r\nHost: a\r\nContent-Length: 0", kLength, 0},
      {"POST /x HTTP/1.1\r\nHost: a", kLength, 0},
      {"POST /x HTTP/1.1", kLength, 0},
      {"", kLength, 0},
      {"POST /x\r\nContent-Length: 007", kLength, 7},
      {"POST /x\r\nContent-Length: 67108864", kLength, 67108864},
      {"POST /x\r\nContent-Length: 000000000067108864", kLength, 67108864},
      // Lines break at a bare LF too, so no reading of the head finds a
      // field this one misses.
      {"POST /x\nContent-Length: 4", kLength, 4},
      {"POST /x\r\nX-A: 1\nContent-Length: 4\r\nHost: a", kLength, 4},
      // Only a field named exactly Content-Length, at the start of a header
      // line, announces a length: never the request line, never the tail of
      // another name, never the inside of another value.
      {"PUT /api/data/doc2?x=content-length:3 HTTP/1.1\r\nHost: a", kLength, 0},
      {"PUT /content-length:4 HTTP/1.1\r\nContent-Length: 9", kLength, 9},
      {"POST /x\r\nX-Original-Content-Length: 4", kLength, 0},
      {"POST /x\r\nX-Content-Length: 3\r\nContent-Length: 9", kLength, 9},
      {"POST /x\r\nContent-Lengths: 3", kLength, 0},
      {"POST /x\r\nX: content-length: 3", kLength, 0},
      {"POST /x\r\nContent-Length-X: 3\r\nHost: content-length:4", kLength, 0},
  };
  for (const auto& c : cases) {
    const ContentLength found = parse_content_length(c.head);
    EXPECT_EQ(found.framing, c.framing) << c.head;
    EXPECT_EQ(found.length, c.length) << c.head;
  }
}

TEST(ParseContentLength, RefusesWhatCouldBeReadTwoWays) {
  const struct {
    const char* head;
    BodyFraming framing;
  } cases[] = {
      {"POST /x\r\nContent-Length: -1", kBad},
      {"POST /x\r\nContent-Length: +3", kBad},
      {"POST /x\r\nContent-Length:  3x", kBad},
      {"POST /x\r\nContent-Length: 5abc", kBad},
      {"POST /x\r\nContent-Length: 3 4", kBad},
      {"POST /x\r\nContent-Length: 3,3", kBad},
      {"POST /x\r\nContent-Length: 3, 3", kBad},
      {"POST /x\r\nContent-Length: 0x10", kBad},
      {"POST /x\r\nContent-Length: 1e3", kBad},
      {"POST /x\r\nContent-Length: 3.0", kBad},
      {"POST /x\r\nContent-Length:", kBad},
      {"POST /x\r\nContent-Length:  \t ", kBad},
      {"POST /x\r\nContent-Length: \"3\"", kBad},
      {"POST /x\r\nContent-Length: 3\rX: 1", kBad},  // a bare CR
      {"POST /x\r\nContent-Length : 3", kBad},       // blank before the colon
      {"POST /x\r\nContent-Length\t: 3", kBad},
      {"POST /x\r\nContent-Length: 3\r\n 4\r\nHost: a", kBad},  // continued value
      {"POST /x\r\nContent-Length: 3\r\n\t\r\nHost: a", kBad},
      {"POST /x\r\nContent-Length: 3\r\nContent-Length: 3", kBad},  // repeated, even alike
      {"POST /x\r\nContent-Length: 3\r\ncontent-length: 4", kBad},
      {"POST /x\r\nContent-Length: 3\r\nContent-Length: x", kBad},
      {"POST /x\r\nContent-Length: x\r\nContent-Length: 3", kBad},
      {"POST /x\r\nContent-Length: 3\r\nContent-Length: 99999999999", kBad},
      {"POST /x\r\nContent-Length: 0067108865abc", kBad},
      // Past 2^26 the length is refused, whatever digits follow.
      {"POST /x\r\nContent-Length: 67108865", kOverCap},
      {"POST /x\r\nContent-Length: 100000000", kOverCap},
      {"POST /x\r\nContent-Length: 671088649999", kOverCap},
      {"POST /x\r\nContent-Length: 99999999999999999999", kOverCap},
      {"POST /x\r\nContent-Length: 0067108865", kOverCap},
      // Any transfer coding, with or without a length, in any spelling.
      {"POST /x\r\nTransfer-Encoding: chunked", kCoded},
      {"POST /x\r\ntransfer-encoding: identity", kCoded},
      {"POST /x\r\nTRANSFER-ENCODING:gzip, chunked", kCoded},
      {"POST /x\r\nTransfer-Encoding :chunked", kCoded},
      {"POST /x\r\nTransfer-Encoding:", kCoded},
      {"POST /x\r\nContent-Length: 3\r\nTransfer-Encoding: chunked", kCoded},
      {"POST /x\r\nTransfer-Encoding: chunked\r\nContent-Length: x", kCoded},
      {"POST /x\r\nHost: a\nTransfer-Encoding: chunked", kCoded},
  };
  for (const auto& c : cases) {
    const ContentLength found = parse_content_length(c.head);
    EXPECT_EQ(found.framing, c.framing) << c.head;
    EXPECT_EQ(found.length, 0) << c.head;
  }
  // Neither a transfer coding named in the request line or in another field.
  EXPECT_EQ(parse_content_length("PUT /x?transfer-encoding:chunked HTTP/1.1").framing, kLength);
  EXPECT_EQ(parse_content_length("PUT /x HTTP/1.1\r\nX-Transfer-Encoding: chunked").framing,
            kLength);
}

TEST(HeaderValue, MatchesNameCaselessAndKeepsValueAsSent) {
  const struct {
    const char* head;
    const char* name;
    const char* value;
  } cases[] = {
      {"GET / HTTP/1.1\r\nRange: bytes=0-", "Range", "bytes=0-"},
      {"GET / HTTP/1.1\r\nrAnGe:\t  Bytes=5-9  \r\nHost: a", "Range", "Bytes=5-9  "},
      {"GET / HTTP/1.1\r\nHost: a", "Range", ""},
      {"GET / HTTP/1.1\r\nRange:", "Range", ""},
      // A plain substring search: If-Range before Range wins.
      {"GET / HTTP/1.1\r\nIf-Range: abc\r\nRange: bytes=1-", "Range", "abc"},
      {"a:b", "a-much-longer-name", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(header_value(c.head, c.name), c.value) << c.head;
  }
}

TEST(QueryParam, FirstExactSegmentDecoded) {
  const struct {
    const char* target;
    const char* name;
    const char* value;
  } cases[] = {
      {"/api/music/media?path=a%20b&path=c", "path", "a b"},
      {"/api/music/media?path=a%20b&path=c", "Path", ""},
      {"/api/music/media?path", "path", ""},
      {"/api/music/media", "path", ""},
      {"", "path", ""},
      {"/x?x=1&&v=30", "v", "30"},
      {"/x?vv=1&v=2", "v", "2"},
      {"/x?v=1+2%2B3", "v", "1 2+3"},
      {"/x?a=1&", "v", ""},
      {"/x?v=", "v", ""},
      {"/x?a=1?v=2", "v", ""},
      {"/x?v=a=b", "v", "a=b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(query_param(c.target, c.name), c.value) << c.target << " " << c.name;
  }
}

TEST(PercentDecode, DecodesWellFormedEscapesOnly) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"/api/pin%67", "/api/ping"},
      {"a+b", "a b"},
      {"a%2Bb", "a+b"},
      {"%2f%2F", "//"},
      {"100%", "100%"},
      {"ab%4", "ab%4"},
      {"%zz%4g", "%zz%4g"},
      {"%%41", "%A"},
      {"%00x", std::string("\0x", 2)},
      {"%ff%C3%A9", "\xff\xc3\xa9"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(percent_decode(c.in), c.out) << c.in;
  }
}

}  // namespace
