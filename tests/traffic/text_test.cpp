#include <gtest/gtest.h>

#include <string>

#include "traffic/display_safe_text.h"
#include "traffic/text_whitespace.h"
#include "traffic/utf8.h"

namespace pulsewell {
namespace {

Bytes bytes(std::initializer_list<unsigned> values) {
  Bytes out;
  for (const unsigned v : values)
    out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

struct DecodeCase {
  std::string name;
  Bytes input;
  std::u32string expected;
};

// The case as its test name shows it.
void PrintTo(const DecodeCase& c, std::ostream* out) {
  *out << c.name;
}

class DecodeUTF8Test : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeUTF8Test, ReplacesEachMaximalIllFormedSubpart) {
  EXPECT_EQ(decodeUTF8(ByteView(GetParam().input)), GetParam().expected);
}

// The comparison the sampler makes on every read, without decoding into a string.
TEST_P(DecodeUTF8Test, DecodesToExactlyItsDecodingAndNothingNearIt) {
  const ByteView input(GetParam().input);
  const std::u32string& expected = GetParam().expected;
  EXPECT_TRUE(decodesTo(input, expected));
  EXPECT_FALSE(decodesTo(input, expected + U'x'));
  if (expected.empty()) return;
  EXPECT_FALSE(decodesTo(input, std::u32string_view(expected).substr(1)));
  std::u32string changed = expected;
  changed.back() = changed.back() == U'x' ? U'y' : U'x';
  EXPECT_FALSE(decodesTo(input, changed));
}

constexpr char32_t fffd = replacementCharacter;

INSTANTIATE_TEST_SUITE_P(
    Sequences, DecodeUTF8Test,
    testing::Values(
        DecodeCase{"ascii", bytes({'e', 't', 'h', '0'}), U"eth0"},
        DecodeCase{"twoByte", bytes({0xC3, 0xA4}), U"\u00E4"},
        DecodeCase{"threeByte", bytes({0xE2, 0x82, 0xAC}), U"\u20AC"},
        DecodeCase{"fourByte", bytes({0xF0, 0x9F, 0x98, 0x80}), U"\U0001F600"},
        DecodeCase{"trailingZeroBytesKept", bytes({'l', 'o', 0, 0}),
                   std::u32string(U"lo") + U'\0' + U'\0'},
        DecodeCase{"loneContinuation", bytes({'a', 0x80, 'b'}), std::u32string{U'a', fffd, U'b'}},
        DecodeCase{"invalidLeadBytes", bytes({0xC0, 0xC1, 0xF5, 0xFF}), std::u32string(4, fffd)},
        DecodeCase{"overlongSlash", bytes({0xC0, 0xAF}), std::u32string(2, fffd)},
        DecodeCase{"overlongThreeByte", bytes({0xE0, 0x80, 0xAF}), std::u32string(3, fffd)},
        DecodeCase{"surrogate", bytes({0xED, 0xA0, 0x80}), std::u32string(3, fffd)},
        DecodeCase{"aboveUnicode", bytes({0xF4, 0x90, 0x80, 0x80}), std::u32string(4, fffd)},
        // A truncated sequence is one replacement, and the byte that broke it is read anew.
        DecodeCase{"truncatedThenAscii", bytes({0xE2, 0x82, 'x'}), std::u32string{fffd, U'x'}},
        DecodeCase{"truncatedAtEnd", bytes({'a', 0xF0, 0x9F, 0x98}), std::u32string{U'a', fffd}},
        DecodeCase{"truncatedThenValid", bytes({0xE2, 0xC3, 0xA4}),
                   std::u32string{fffd, U'\u00E4'}},
        DecodeCase{"highestCodePoint", bytes({0xF4, 0x8F, 0xBF, 0xBF}), U"\U0010FFFF"},
        DecodeCase{"empty", Bytes{}, U""}),
    [](const testing::TestParamInfo<DecodeCase>& p) { return p.param.name; });

TEST(UTF8, TextFromBytesIsWellFormedAndKeepsValidText) {
  EXPECT_EQ(textFromUTF8(bytes({'W', 'L', 'A', 'N', ' ', 0xC3, 0xBC})), "WLAN \u00FC");
  const std::string repaired = textFromUTF8(bytes({'e', 0xFF, '0'}));
  EXPECT_EQ(repaired, "e\uFFFD0");
  EXPECT_TRUE(isValidUTF8(repaired));
}

TEST(UTF8, ValidityCheck) {
  EXPECT_TRUE(isValidUTF8("Stra\u00DFe \U0001F600"));
  EXPECT_TRUE(isValidUTF8(""));
  EXPECT_FALSE(isValidUTF8("\xC3"));
  EXPECT_FALSE(isValidUTF8("a\xED\xA0\x80"));
}

TEST(UTF8, EncodingReplacesWhatIsNoCodePoint) {
  EXPECT_EQ(encodeUTF8(U"a\u00E4\u20AC\U0001F600"), "a\u00E4\u20AC\U0001F600");
  EXPECT_EQ(encodeUTF8(std::u32string{char32_t{0xD800}, char32_t{0x110000}}), "\uFFFD\uFFFD");
}

struct TrimCase {
  std::string name;
  std::string input;
  std::string trimmed;
  bool containsWhitespace;
};

// The case as its test name shows it.
void PrintTo(const TrimCase& c, std::ostream* out) {
  *out << c.name;
}

class TextWhitespaceTest : public testing::TestWithParam<TrimCase> {};

TEST_P(TextWhitespaceTest, TrimsAndDetects) {
  EXPECT_EQ(TextWhitespace::trimmed(GetParam().input), GetParam().trimmed);
  EXPECT_EQ(TextWhitespace::containsWhitespace(GetParam().input), GetParam().containsWhitespace);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextWhitespaceTest,
    testing::Values(
        TrimCase{"plain", "router", "router", false},
        TrimCase{"asciiAround", " \t\nrouter\r\n\v\f", "router", true},
        TrimCase{"nextLine", "\u0085router\u0085", "router", true},
        TrimCase{"noBreakSpace", "\u00A0router\u00A0", "router", true},
        TrimCase{"lineAndParagraphSeparators", "\u2028router\u2029", "router", true},
        TrimCase{"typographicSpaces", "\u2000\u200A\u202F\u205Frouter\u3000\u1680", "router", true},
        TrimCase{"innerKept", " a b ", "a b", true},
        TrimCase{"onlyWhitespace", " \u00A0\n", "", true}, TrimCase{"empty", "", "", false},
        // Not White_Space: zero-width space, Mongolian vowel separator, BOM.
        TrimCase{"zeroWidthCharactersStay", "\u200Bx\u180E\uFEFF", "\u200Bx\u180E\uFEFF", false},
        // Ill-formed bytes are content, never whitespace.
        TrimCase{"illFormedBytesKept", " \xFF\xC2 ", "\xFF\xC2", true},
        // 0xC2 0xA0 is NBSP; a lone 0xA0 byte is not.
        TrimCase{"loneA0ByteIsNotWhitespace", "\xA0x\xA0", "\xA0x\xA0", false}),
    [](const testing::TestParamInfo<TrimCase>& p) { return p.param.name; });

struct SafeTextCase {
  std::string name;
  std::string input;
  std::string shown;
};

// The case as its test name shows it.
void PrintTo(const SafeTextCase& c, std::ostream* out) {
  *out << c.name;
}

class DisplaySafeTextTest : public testing::TestWithParam<SafeTextCase> {};

TEST_P(DisplaySafeTextTest, ShowsWhatTheTextHoldsAndNothingSteersTheDisplay) {
  EXPECT_EQ(displaySafe(GetParam().input), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DisplaySafeTextTest,
    testing::Values(
        SafeTextCase{"plain", "eth0", "eth0"},
        SafeTextCase{"lettersAndSymbolsStay", "Düsseldorf ✓ <b>&amp;", "Düsseldorf ✓ <b>&amp;"},
        SafeTextCase{"rightToLeftLettersStay", "\u05E9\u05DC\u05D5\u05DD0",
                     "\u05E9\u05DC\u05D5\u05DD0"},
        SafeTextCase{"terminalCommand", "a\x1b[2Jb", "a\uFFFD[2Jb"},
        SafeTextCase{"lineBreaksAndDelete", "x\r\n\x7f\t", "x\uFFFD\uFFFD\uFFFD\uFFFD"},
        SafeTextCase{"c1Controls", "c1\u0085\u009b!", "c1\uFFFD\uFFFD!"},
        SafeTextCase{"separators", "a\u2028b\u2029c", "a\uFFFDb\uFFFDc"},
        SafeTextCase{"overrides", "eth\u202Eltr\u202Dx", "eth\uFFFDltr\uFFFDx"},
        SafeTextCase{"embeddingsAndPop", "\u202Aa\u202Bb\u202Cc", "\uFFFDa\uFFFDb\uFFFDc"},
        SafeTextCase{"isolates", "\u2066a\u2067b\u2068c\u2069", "\uFFFDa\uFFFDb\uFFFDc\uFFFD"},
        SafeTextCase{"marks", "\u200Ea\u200Fb\u061Cc", "\uFFFDa\uFFFDb\uFFFDc"},
        // A lone 0x9B byte is CSI to a terminal that is not in UTF-8 mode.
        SafeTextCase{"illFormedBytes", "wl\x9b\xff", "wl\uFFFD\uFFFD"},
        SafeTextCase{"zeroWidthJoinerStays", "a\u200Db", "a\u200Db"}),
    [](const testing::TestParamInfo<SafeTextCase>& p) { return p.param.name; });

}  // namespace
}  // namespace pulsewell
