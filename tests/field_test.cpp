// The field codec and field splitting.
#include "store/field.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "store/secret.h"
#include "support/pw_fixture.h"

namespace pwlevel::store {
namespace {

using testing::CaseName;
using testing::Printable;

using namespace std::string_literals;

struct EncodeCase {
  std::string text;
  std::string field;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
  *os << Printable(c.text);
}

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, EncodesAndDecodesBack) {
  const EncodeCase& c = GetParam();
  EXPECT_EQ(EncodePw(c.text), c.field);
  const std::optional<Secret> decoded = DecodePw(c.field);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->view(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, EncodeTest,
    ::testing::Values(EncodeCase{"abc", "#86)C"}, EncodeCase{"a", "!80  "},
                      // the encoding's ':' is written as 0x01
                      EncodeCase{"ZZZ", "#6EI\x01"},
                      EncodeCase{"pw.2", "$<'<N,@  "}));

TEST(FieldCodecTest, RoundTripsEveryLengthFrom1To95) {
  for (std::size_t length = 1; length <= 95; ++length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      // Every byte value but NUL comes round, ':' and 0x01 included.
      text += static_cast<char>(1 + (i * 37 + length) % 255);
    }
    const std::string field = EncodePw(text);
    EXPECT_EQ(field.find(':'), std::string::npos) << length;
    EXPECT_EQ(field.size(), 1 + 4 * ((length + 2) / 3)) << length;
    const std::optional<Secret> decoded = DecodePw(field);
    ASSERT_TRUE(decoded.has_value()) << length;
    EXPECT_EQ(decoded->view(), text) << length;
  }
}

TEST(FieldCodecTest, LengthCharacterOfColonIsWrittenAs0x01) {
  const std::string text(26, 'x');  // 26 + 32 = ':'
  const std::string field = EncodePw(text);
  EXPECT_EQ(field[0], '\x01');
  EXPECT_EQ(DecodePw(field)->view(), text);
}

TEST(FieldCodecTest, EmptyTextEncodesAsOneSpaceWhichDecodesToNothing) {
  EXPECT_EQ(EncodePw(""), " ");
  EXPECT_FALSE(DecodePw(" ").has_value());
}

struct DecodeCase {
  const char* name;
  std::string field;
  std::optional<std::string> text;  // nullopt: no result
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, Decodes) {
  const DecodeCase& c = GetParam();
  const std::optional<Secret> decoded = DecodePw(c.field);
  ASSERT_EQ(decoded.has_value(), c.text.has_value());
  if (c.text.has_value()) {
    EXPECT_EQ(decoded->view(), *c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeTest,
    ::testing::Values(
        DecodeCase{"EmptyField", "", ""s},
        DecodeCase{"LengthBelowSpace", "\x1f#86)C", ""s},
        DecodeCase{"LengthFrom0x80", "\x80#86)C", ""s},
        DecodeCase{"LengthAnnouncesZero", " #86)C", std::nullopt},
        DecodeCase{"LineBreakAlone", "\n", ""s},
        // A 96-byte text encodes, but its length reads back negative.
        DecodeCase{"NinetySixBytes", EncodePw(std::string(96, 'q')), ""s},
        // Fewer characters than the groups announced: nothing is read
        // beyond the field, and it decodes to nothing.
        DecodeCase{"ShortField", "#86)", std::nullopt},
        DecodeCase{"LengthOnly", "#", std::nullopt},
        DecodeCase{"SecondGroupMissing", "$86)C", std::nullopt},
        // What a short last group carries beyond the count is not used.
        DecodeCase{"UnusedTail", "!80ZZ", "a"s},
        DecodeCase{"TrailingLineBreakIgnored", "#86)C\n", "abc"s},
        // A decoded NUL ends the text.
        DecodeCase{"StopsAtNul", EncodePw("ab\0cd"s), "ab"s}),
    CaseName());

struct FieldCase {
  std::string text;
  std::size_t index;
  char separator;
  std::optional<std::string> field;
};

void PrintTo(const FieldCase& c, std::ostream* os) {
  *os << Printable(c.text) << " field " << c.index;
}

class GetFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(GetFieldTest, CutsTheField) {
  const FieldCase& c = GetParam();
  const std::string before = c.text;
  const std::optional<std::string_view> field =
      GetField(c.text, c.index, c.separator);
  ASSERT_EQ(field.has_value(), c.field.has_value());
  if (c.field.has_value()) {
    EXPECT_EQ(*field, *c.field);
  }
  EXPECT_EQ(c.text, before);
}

const std::string kRecord = "Passwd=:A:B:C:D:\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, GetFieldTest,
    ::testing::Values(
        FieldCase{kRecord, 0, '=', "Passwd"s},
        FieldCase{kRecord, 0, ':', "Passwd="s},
        FieldCase{kRecord, 1, ':', "A"s}, FieldCase{kRecord, 4, ':', "D"s},
        FieldCase{kRecord, 5, ':', "\n"s},
        FieldCase{kRecord, 6, ':', std::nullopt},
        FieldCase{"no separator", 0, ':', "no separator"s},
        FieldCase{"no separator", 1, ':', std::nullopt},
        FieldCase{"", 0, ':', ""s}, FieldCase{"", 1, ':', std::nullopt},
        FieldCase{":lead", 0, ':', ""s}, FieldCase{"trail:", 1, ':', ""s},
        FieldCase{"a::b", 1, ':', ""s}));

TEST(SecretTest, ComparesWholeTexts) {
  EXPECT_TRUE(SameSecret("abc", "abc"));
  EXPECT_TRUE(SameSecret("", ""));
  EXPECT_FALSE(SameSecret("abc", "abd"));
  EXPECT_FALSE(SameSecret("abc", "Abc"));
  EXPECT_FALSE(SameSecret("abc", "abcd"));
  EXPECT_FALSE(SameSecret("abc", "ab"));
}

}  // namespace
}  // namespace pwlevel::store
