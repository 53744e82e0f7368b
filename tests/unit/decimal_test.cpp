#include <gtest/gtest.h>

#include <cstdint>

#include "text/json.h"

namespace {

struct DecimalCase {
  const char* name;
  Utf8String text;
  bool accepted;
  std::int64_t value;  // Only meaningful when accepted.
};

TEST(ParseDecimal, AcceptsPlainDigitsUpToTheCap) {
  const DecimalCase cases[] = {
      {"zero", "0", true, 0},
      {"small", "42", true, 42},
      {"leading zeros", "007", true, 7},
      {"many leading zeros", "000000000000000000000000000005", true, 5},
      {"below cap", "1125899906842623", true, 1125899906842623},
      {"cap", "1125899906842624", true, 1125899906842624},
      {"cap plus one", "1125899906842625", false, 0},
      {"cap times ten", "11258999068426240", false, 0},
      {"17 nines", "99999999999999999", false, 0},
      {"past int64", "99999999999999999999999999999999", false, 0},
      {"empty", "", false, 0},
      {"minus", "-1", false, 0},
      {"plus", "+1", false, 0},
      {"leading space", " 1", false, 0},
      {"trailing space", "1 ", false, 0},
      {"trailing letter", "12a", false, 0},
      {"fraction", "1.5", false, 0},
      {"embedded nul",
       Utf8String("1\0"
                  "2",
                  3),
       false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Two fallbacks, so a rejected text is told from one that parses to it.
    for (const std::int64_t fallback : {std::int64_t{-1}, std::int64_t{5}}) {
      EXPECT_EQ(parse_decimal(c.text, fallback), c.accepted ? c.value : fallback);
    }
  }
}

}  // namespace
