#include "music/range.h"

#include <gtest/gtest.h>

namespace {

constexpr RangeKind W = RangeKind::whole;
constexpr RangeKind P = RangeKind::partial;
constexpr RangeKind U = RangeKind::unsatisfiable;

TEST(Range, OneThousandByteFile) {
  const struct {
    const char* range;
    RangeKind kind;
    std::uint64_t first, last;
  } cases[] = {
      {"bytes=0-", P, 0, 999},        {"bytes=0-0", P, 0, 0},
      {"bytes=500-", P, 500, 999},    {"bytes=900-5000", P, 900, 999},
      {"bytes=-100", P, 900, 999},    {"bytes=-5000", P, 0, 999},
      {"bytes=-1000", P, 0, 999},     {"bytes=-", P, 0, 999},
      {"bytes=0-99,200-299", P, 0, 999},
      {"bytes= 0-99", P, 901, 999},   {"bytes=0-99 ", P, 0, 999},
      {"bytes=1125899906842625-", P, 0, 999},
      {"bytes=999-999", P, 999, 999}, {"bytes=1125899906842624-", U, 0, 0},
      {"bytes=-0", U, 0, 0},          {"bytes=1000-", U, 0, 0},
      {"bytes=1000-1000", U, 0, 0},   {"bytes=5-4", U, 0, 0},
      {"Bytes=0-99", W, 0, 0},        {"items=0-99", W, 0, 0},
      {"bytes 0-99", W, 0, 0},        {"bytes=5", W, 0, 0},
      {"bytes =0-1", W, 0, 0},        {"=0-1", W, 0, 0},
      {"bytes=+5-9", P, 991, 999},
  };
  for (const auto& c : cases) {
    const RangeAnswer answer = evaluate_range(c.range, 1000);
    EXPECT_EQ(answer.kind, c.kind) << c.range;
    if (c.kind == P) {
      EXPECT_EQ(answer.first, c.first) << c.range;
      EXPECT_EQ(answer.last, c.last) << c.range;
    }
  }
}

TEST(Range, EmptyFileCannotServeAnyRange) {
  for (const char* range : {"bytes=0-", "bytes=-", "bytes=-5", "bytes=0-0"}) {
    EXPECT_EQ(evaluate_range(range, 0).kind, U) << range;
  }
  EXPECT_EQ(evaluate_range("items=0-", 0).kind, W);
}

TEST(Range, FilesBeyondFourGigabytes) {
  const std::uint64_t size = 6000000000ULL;
  const RangeAnswer answer = evaluate_range("bytes=5000000000-", size);
  EXPECT_EQ(answer.kind, P);
  EXPECT_EQ(answer.first, 5000000000ULL);
  EXPECT_EQ(answer.last, size - 1);
  EXPECT_EQ(evaluate_range("bytes=-10", size).first, size - 10);
}

}  // namespace
