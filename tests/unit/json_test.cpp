#include "text/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using std::string_literals::operator""s;

struct EscapeCase {
  const char* name;
  Utf8String in;
  Utf8String out;
};

TEST(JsonEscape, EscapesQuotesBackslashesAndControlBytes) {
  const EscapeCase cases[] = {
      {"empty", "", ""},
      {"plain", "abc 123", "abc 123"},
      {"double quote", "\"", R"(\")"},
      {"backslash", "\\", R"(\\)"},
      {"solidus is kept", "a/b", "a/b"},
      {"backspace", "\b", R"(\b)"},
      {"tab", "\t", R"(\t)"},
      {"line feed", "\n", R"(\n)"},
      {"form feed", "\f", R"(\f)"},
      {"carriage return", "\r", R"(\r)"},
      {"nul", "\0"s, R"(\u0000)"},
      {"0x01", "\x01", R"(\u0001)"},
      {"vertical tab", "\x0B", R"(\u000b)"},
      {"0x10", "\x10", R"(\u0010)"},
      {"0x1F", "\x1F", R"(\u001f)"},
      {"space", " ", " "},
      {"DEL is kept", "\x7F", "\x7F"},
      {"UTF-8 is kept", "\xC3\xA9", "\xC3\xA9"},
      {"invalid byte is kept", "\xFF", "\xFF"},
      {"mixed", "say \"hi\"\\\r\n", R"(say \"hi\"\\\r\n)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(json_escape(c.in), c.out);
  }
}

// Every byte below 0x20 must leave as an escape, or the answer is not JSON.
TEST(JsonEscape, NoControlByteLeavesUnescaped) {
  for (int b = 0; b < 0x20; ++b) {
    SCOPED_TRACE(b);
    const Utf8String out = json_escape(Utf8String(1, static_cast<char>(b)));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], '\\');
    if (out.size() == 2) {
      EXPECT_NE(Utf8String("btnfr").find(out[1]), Utf8String::npos);
      continue;
    }
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out.substr(0, 4), R"(\u00)");
    const Utf8String hex = out.substr(4);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), Utf8String::npos) << hex;
    EXPECT_EQ(std::strtol(hex.c_str(), nullptr, 16), b);
  }
}

template <typename T>
struct GetCase {
  const char* name;
  Utf8String text;
  bool found;
  T value;  // Only meaningful when found.
};

TEST(JsonGetBool, FindsTrueOrFalseAfterTheFirstKey) {
  const GetCase<bool> cases[] = {
      {"true", R"({"enable":true})", true, true},
      {"false", R"({"enable":false})", true, false},
      {"space skipped", R"({"enable": true})", true, true},
      {"tab skipped", "{\"enable\":\ttrue}", true, true},
      {"blanks before colon", R"({"enable" : false})", true, false},
      {"line feed not skipped", "{\"enable\":\ntrue}", false, false},
      {"CR LF not skipped", "{\"enable\":\r\ntrue}", false, false},
      {"quoted true", R"({"enable":"true"})", false, false},
      {"number", R"({"enable":1})", false, false},
      {"null", R"({"enable":null})", false, false},
      {"case matters", R"({"enable":True})", false, false},
      {"prefix match", R"({"enable":truex})", true, true},
      {"short true", R"({"enable":tru)", false, false},
      {"short false", R"({"enable":fals)", false, false},
      {"nothing after colon", R"({"enable":)", false, false},
      {"inner key first", R"({"o":{"enable":false},"enable":true})", true, false},
      {"first duplicate wins", R"({"enable":false,"enable":true})", true, false},
      {"anything before colon", R"({"enable" "x":true})", true, true},
      {"key case matters", R"({"Enable":true})", false, false},
      {"longer key", R"({"enabled":true})", false, false},
      {"no colon", R"({"enable" true})", false, false},
      {"key is last", R"({"enable")", false, false},
      {"empty text", "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool preset : {false, true}) {
      bool out = preset;
      ASSERT_EQ(json_get_bool(c.text, "enable", out), c.found);
      EXPECT_EQ(out, c.found ? c.value : preset);
    }
  }
}

TEST(JsonGetInt, ReadsASignAndADigitRun) {
  const GetCase<std::int64_t> cases[] = {
      {"plain", R"({"volume":42})", true, 42},
      {"zero", R"({"volume":0})", true, 0},
      {"space skipped", R"({"volume": 42})", true, 42},
      {"tab skipped", "{\"volume\":\t42}", true, 42},
      {"line feed not skipped", "{\"volume\":\n42}", false, 0},
      {"quoted", R"({"volume":"42"})", false, 0},
      {"null", R"({"volume":null})", false, 0},
      {"nothing after colon", R"({"volume":)", false, 0},
      {"fraction cut", R"({"volume":12.7})", true, 12},
      {"exponent cut", R"({"volume":1e3})", true, 1},
      {"leading zeros", R"({"volume":007})", true, 7},
      {"17 nines", R"({"volume":99999999999999999})", true, 0},
      {"cap", R"({"volume":1125899906842624})", true, 1125899906842624},
      {"above cap", R"({"volume":1125899906842625})", true, 0},
      {"minus", R"({"volume":-5})", true, -5},
      {"plus", R"({"volume":+5})", true, 5},
      {"minus above cap", R"({"volume":-99999999999999999})", true, 0},
      {"lone minus", R"({"volume":-})", true, 0},
      {"lone plus", R"({"volume":+})", true, 0},
      {"sign then blank", R"({"volume":- 5})", true, 0},
      {"two signs", R"({"volume":--5})", true, 0},
      {"inner key first", R"({"o":{"volume":3},"volume":4})", true, 3},
      {"key is last", R"({"volume")", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A preset no case produces, so a found 0 and an untouched out differ.
    std::int64_t out = 777;
    ASSERT_EQ(json_get_int(c.text, "volume", out), c.found);
    EXPECT_EQ(out, c.found ? c.value : 777);
  }
}

TEST(JsonGetString, ReadsTheNextStringLiteralLightlyUnescaped) {
  const GetCase<Utf8String> cases[] = {
      {"plain", R"({"id":"abc"})", true, "abc"},
      {"blanks and line break skipped", "{\"id\" :\r\n \"abc\"}", true, "abc"},
      {"escaped quote", R"({"id":"a\"b"})", true, "a\"b"},
      {"escaped backslash", R"({"id":"a\\b"})", true, "a\\b"},
      {"escaped backslash before end", R"({"id":"a\\"})", true, "a\\"},
      {"line escapes", R"({"id":"\n\r\t"})", true, "\n\r\t"},
      {"solidus", R"({"id":"a\/b"})", true, "a/b"},
      {"backspace and form feed are letters", R"({"id":"\b\f"})", true, "bf"},
      {"unicode escape not decoded", R"({"id":"\u00e9"})", true, "u00e9"},
      {"UTF-8 copied", "{\"id\":\"\xC3\xA9\"}", true, "\xC3\xA9"},
      {"structure inside value", R"({"id":"a:{b},c"})", true, "a:{b},c"},
      {"empty", R"({"id":""})", true, ""},
      {"quote is last byte", R"({"id":")", true, ""},
      {"unterminated", R"({"id":"abc)", true, "abc"},
      {"backslash is last byte", R"({"id":"ab\)", true, "ab\\"},
      {"number then next key", R"({"id":5,"name":"x"})", true, "name"},
      {"null then next key", R"({"id":null,"x":"y"})", true, "x"},
      {"inner key first", R"({"o":{"id":"in"},"id":"out"})", true, "in"},
      {"longer key skipped", R"({"idx":"a","id":"b"})", true, "b"},
      {"no quote after colon", R"({"id":5})", false, ""},
      {"no colon", R"({"id" "x"})", false, ""},
      {"key is last", R"({"id")", false, ""},
      {"key absent", R"({"ID":"x"})", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Utf8String out = "preset";
    ASSERT_EQ(json_get_string(c.text, "id", out), c.found);
    EXPECT_EQ(out, c.found ? c.value : "preset");
  }
}

TEST(JsonGetObject, ReturnsTheNextBalancedObject) {
  const GetCase<Utf8String> cases[] = {
      {"flat", R"({"p":{"a":1},"q":2})", true, R"({"a":1})"},
      {"empty object", R"({"p":{}})", true, "{}"},
      {"nested whole", R"({"p":{"a":{"b":{}}},"q":{}})", true, R"({"a":{"b":{}}})"},
      {"braces in strings", R"({"p":{"a":"}{","b":"{"}})", true, R"({"a":"}{","b":"{"})"},
      {"escaped quote in string", R"({"p":{"a":"\"}"}})", true, R"({"a":"\"}"})"},
      {"escaped backslash ends string", R"({"p":{"a":"x\\"},"b":2})", true, R"({"a":"x\\"})"},
      {"brackets not counted", R"({"p":[{"a":1}]})", true, R"({"a":1})"},
      {"first brace further on", R"({"p":1,"q":{"a":2}})", true, R"({"a":2})"},
      {"no colon needed", R"("p"{})", true, "{}"},
      {"inner key first", R"({"o":{"p":{"x":1}},"p":{"y":2}})", true, R"({"x":1})"},
      {"closing brace missing", R"({"p":{"a":1)", false, ""},
      {"inner closes, outer open", R"({"p":{"a":{"b":1})", false, ""},
      {"string never closed", R"({"p":{"a":"x}})", false, ""},
      {"no brace after key", R"({"p":1})", false, ""},
      {"key is last", R"({"p")", false, ""},
      {"key absent", R"({"q":{}})", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Utf8String out = "preset";
    ASSERT_EQ(json_get_object(c.text, "p", out), c.found);
    EXPECT_EQ(out, c.found ? c.value : "preset");
  }
}

// The update check reads its entry's fields from the extracted object, so a
// field of the same name elsewhere in the manifest must not leak in.
TEST(JsonGetObject, ResultCanBeSearchedAgain) {
  const Utf8String manifest =
      R"({"other":{"url":"wrong"},"app":{"version":"1.6.0","url":"https://h/a.exe"},)"
      R"("version":"9"})";
  Utf8String entry;
  ASSERT_TRUE(json_get_object(manifest, "app", entry));
  Utf8String version;
  Utf8String url;
  ASSERT_TRUE(json_get_string(entry, "version", version));
  ASSERT_TRUE(json_get_string(entry, "url", url));
  EXPECT_EQ(version, "1.6.0");
  EXPECT_EQ(url, "https://h/a.exe");
}

}  // namespace
