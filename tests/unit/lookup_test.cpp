#include "http/lookup.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseContentLength, FindsTheFirstAnnouncementAnywhere) {
  const struct {
    const char* head;
    std::int64_t length;
  } cases[] = {
      {"POST /x HTTP/1.1\r\ncontent-length:5", 5},
      {"POST /x HTTP/1.1\r\nCONTENT-LENGTH: 5", 5},
      {"POST /x HTTP/1.1\r\nContent-Length: \t 12\r\nHost: a", 12},
      {"POST /x HTTP/1.1\r\nContent-Length: 5abc", 5},
      {"POST /x HTTP/1.1\r\nContent-Length: +5", 0},
      {"POST /x HTTP/1.1\r\nContent-Length: -5", 0},
      {"POST /x HTTP/1.1\r\nContent-Length: x", 0},
      {"POST /x HTTP/1.1\r\nContent-Length:", 0},
      {"POST /x HTTP/1.1\r\nHost: a", 0},
      {"content-length:", 0},
      {"content-length:7", 7},  // exactly 15 bytes of name, then the digit
      {"short", 0},
      // A header that merely ends in the name counts when it comes first.
      {"POST /x\r\nX-Content-Length: 3\r\nContent-Length: 9", 3},
      // So does the request line.
      {"POST /content-length:4 HTTP/1.1\r\nContent-Length: 9", 4},
      {"POST /x\r\nContent-Length: 007", 7},
      {"POST /x\r\nContent-Length: 67108864", 67108864},
      {"POST /x\r\nContent-Length: 000000000067108864", 67108864},
      {"POST /x\r\nContent-Length: 67108864 9", 67108864},
      // Past 2^26 the length is refused, whatever digits follow.
      {"POST /x\r\nContent-Length: 67108865", kContentLengthOverCap},
      {"POST /x\r\nContent-Length: 100000000", kContentLengthOverCap},
      {"POST /x\r\nContent-Length: 671088649999", kContentLengthOverCap},
      {"POST /x\r\nContent-Length: 99999999999999999999", kContentLengthOverCap},
      {"POST /x\r\nContent-Length: 0067108865abc", kContentLengthOverCap},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parse_content_length(c.head), c.length) << c.head;
  }
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
