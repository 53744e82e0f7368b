#include "text/utf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace {

Utf8String bytes(std::initializer_list<unsigned> list) {
  Utf8String out;
  for (unsigned b : list) out.push_back(static_cast<char>(b));
  return out;
}

WideString units(std::initializer_list<unsigned> list) {
  WideString out;
  for (unsigned u : list) out.push_back(static_cast<char16_t>(u));
  return out;
}

struct Utf16ToUtf8Case {
  const char* name;
  WideString in;
  Utf8String out;
};

TEST(Utf16ToUtf8, ConvertsAndReplacesUnpairedSurrogates) {
  const Utf16ToUtf8Case cases[] = {
      {"empty", units({}), bytes({})},
      {"ascii", units({'A', 'b'}), bytes({0x41, 0x62})},
      {"nul is kept", units({0x00, 'x'}), bytes({0x00, 0x78})},
      {"e acute", units({0x00E9}), bytes({0xC3, 0xA9})},
      {"last two-byte", units({0x07FF}), bytes({0xDF, 0xBF})},
      {"first three-byte", units({0x0800}), bytes({0xE0, 0xA0, 0x80})},
      {"euro sign", units({0x20AC}), bytes({0xE2, 0x82, 0xAC})},
      {"below surrogates", units({0xD7FF}), bytes({0xED, 0x9F, 0xBF})},
      {"above surrogates", units({0xE000}), bytes({0xEE, 0x80, 0x80})},
      {"last BMP", units({0xFFFF}), bytes({0xEF, 0xBF, 0xBF})},
      {"first pair", units({0xD800, 0xDC00}), bytes({0xF0, 0x90, 0x80, 0x80})},
      {"emoji pair", units({0xD83D, 0xDE00}), bytes({0xF0, 0x9F, 0x98, 0x80})},
      {"last pair", units({0xDBFF, 0xDFFF}), bytes({0xF4, 0x8F, 0xBF, 0xBF})},
      {"lone high", units({0xD800}), bytes({0xEF, 0xBF, 0xBD})},
      {"lone low", units({0xDC00}), bytes({0xEF, 0xBF, 0xBD})},
      {"high then ascii keeps ascii", units({0xD800, 'A'}), bytes({0xEF, 0xBF, 0xBD, 0x41})},
      {"high at end", units({'A', 0xD83D}), bytes({0x41, 0xEF, 0xBF, 0xBD})},
      {"reversed pair", units({0xDC00, 0xD800}), bytes({0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD})},
      {"high then valid pair", units({0xD800, 0xD800, 0xDC00}),
       bytes({0xEF, 0xBF, 0xBD, 0xF0, 0x90, 0x80, 0x80})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(utf16_to_utf8(c.in), c.out);
  }
}

struct Utf8ToUtf16Case {
  const char* name;
  Utf8String in;
  WideString out;
};

constexpr unsigned kFFFD = 0xFFFD;

TEST(Utf8ToUtf16, ConvertsWellFormedSequences) {
  const Utf8ToUtf16Case cases[] = {
      {"empty", bytes({}), units({})},
      {"ascii", bytes({0x41, 0x62}), units({'A', 'b'})},
      {"nul is kept", bytes({0x00, 0x78}), units({0x00, 'x'})},
      {"e acute", bytes({0xC3, 0xA9}), units({0x00E9})},
      {"first two-byte", bytes({0xC2, 0x80}), units({0x0080})},
      {"first three-byte", bytes({0xE0, 0xA0, 0x80}), units({0x0800})},
      {"below surrogates", bytes({0xED, 0x9F, 0xBF}), units({0xD7FF})},
      {"above surrogates", bytes({0xEE, 0x80, 0x80}), units({0xE000})},
      {"last BMP", bytes({0xEF, 0xBF, 0xBF}), units({0xFFFF})},
      {"first four-byte", bytes({0xF0, 0x90, 0x80, 0x80}), units({0xD800, 0xDC00})},
      {"emoji", bytes({0xF0, 0x9F, 0x98, 0x80}), units({0xD83D, 0xDE00})},
      {"last scalar", bytes({0xF4, 0x8F, 0xBF, 0xBF}), units({0xDBFF, 0xDFFF})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(utf8_to_utf16(c.in), c.out);
  }
}

// One U+FFFD per maximal ill-formed subpart, and the byte that breaks a
// sequence is read again as the start of the next one.
TEST(Utf8ToUtf16, ReplacesEachMaximalIllFormedSubpart) {
  const Utf8ToUtf16Case cases[] = {
      {"lone FF", bytes({0xFF}), units({kFFFD})},
      {"FF between ascii", bytes({'a', 0xFF, 'b'}), units({'a', kFFFD, 'b'})},
      {"stray continuation", bytes({0x80}), units({kFFFD})},
      {"two stray continuations", bytes({0x80, 0xBF}), units({kFFFD, kFFFD})},
      {"truncated three-byte then ascii", bytes({0xE2, 0x82, 'A'}), units({kFFFD, 'A'})},
      {"truncated three-byte at end", bytes({0xE2, 0x82}), units({kFFFD})},
      {"lead alone at end", bytes({'x', 0xC3}), units({'x', kFFFD})},
      {"lead then lead", bytes({0xC3, 0xC3, 0xA9}), units({kFFFD, 0x00E9})},
      {"truncated four-byte then ascii", bytes({0xF0, 0x9F, 0x98, 'A'}), units({kFFFD, 'A'})},
      {"truncated four-byte at end", bytes({0xF0, 0x9F, 0x98}), units({kFFFD})},
      {"encoded high surrogate", bytes({0xED, 0xA0, 0x80}), units({kFFFD, kFFFD, kFFFD})},
      {"encoded low surrogate", bytes({0xED, 0xBF, 0xBF}), units({kFFFD, kFFFD, kFFFD})},
      {"overlong nul", bytes({0xC0, 0x80}), units({kFFFD, kFFFD})},
      {"overlong C1", bytes({0xC1, 0xBF}), units({kFFFD, kFFFD})},
      {"overlong three-byte", bytes({0xE0, 0x80, 0x80}), units({kFFFD, kFFFD, kFFFD})},
      {"overlong three-byte top", bytes({0xE0, 0x9F, 0xBF}), units({kFFFD, kFFFD, kFFFD})},
      {"overlong four-byte", bytes({0xF0, 0x8F, 0xBF, 0xBF}), units({kFFFD, kFFFD, kFFFD, kFFFD})},
      {"beyond U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80}), units({kFFFD, kFFFD, kFFFD, kFFFD})},
      {"F5 lead", bytes({0xF5, 0x80, 0x80, 0x80}), units({kFFFD, kFFFD, kFFFD, kFFFD})},
      {"valid after broken", bytes({0xE2, 0x82, 0xE2, 0x82, 0xAC}), units({kFFFD, 0x20AC})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(utf8_to_utf16(c.in), c.out);
  }
}

TEST(Utf, EveryScalarValueSurvivesARoundTrip) {
  WideString all;
  for (std::uint32_t cp = 1; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp < 0x10000) {
      all.push_back(static_cast<char16_t>(cp));
    } else {
      all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  const Utf8String encoded = utf16_to_utf8(all);
  // 128 one-byte, 1920 two-byte, 61440 three-byte and 1048576 four-byte
  // scalars, minus U+0000.
  EXPECT_EQ(encoded.size(), 127u + 1920u * 2 + 61440u * 3 + 1048576u * 4);
  // Compared as a whole; a failure would otherwise print two million units.
  EXPECT_TRUE(utf8_to_utf16(encoded) == all);
}

}  // namespace
