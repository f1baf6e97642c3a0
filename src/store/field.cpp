#include "store/field.h"

#include <cstdint>

namespace pwlevel::store {
namespace {

constexpr char kColon = ':';
constexpr char kColonInField = '\x01';
constexpr unsigned kOffset = 32;

char Printable(unsigned six_bits) {
  const char c = static_cast<char>((six_bits + kOffset) & 0xFFU);
  return c == kColon ? kColonInField : c;
}

// A field character back to its value: 0x01 stands for ':', and the offset
// comes off modulo 256, as the encoding put it on.
std::uint8_t ValueOf(char c) {
  const char restored = c == kColonInField ? kColon : c;
  return static_cast<std::uint8_t>(static_cast<std::uint8_t>(restored) -
                                   kOffset);
}

// The byte count a length character announces; negative for characters
// below 0x20 and from 0x80 on, as a signed 8-bit value reads them.
int AnnouncedCount(char length_character) {
  const char restored =
      length_character == kColonInField ? kColon : length_character;
  return static_cast<int>(static_cast<std::int8_t>(restored)) -
         static_cast<int>(kOffset);
}

}  // namespace

std::optional<std::string_view> GetField(std::string_view text,
                                         std::size_t index, char separator) {
  std::size_t start = 0;
  for (std::size_t skipped = 0; skipped < index; ++skipped) {
    const std::size_t next = text.find(separator, start);
    if (next == std::string_view::npos) {
      return std::nullopt;
    }
    start = next + 1;
  }
  const std::size_t end = text.find(separator, start);
  return text.substr(start, end == std::string_view::npos ? end : end - start);
}

std::string EncodePw(std::string_view text) {
  std::string field;
  field.reserve(1 + 4 * ((text.size() + 2) / 3));
  field.push_back(Printable(static_cast<unsigned>(text.size())));
  for (std::size_t i = 0; i < text.size(); i += 3) {
    const auto byte_at = [&](std::size_t at) -> unsigned {
      return at < text.size() ? static_cast<std::uint8_t>(text[at]) : 0U;
    };
    const unsigned a = byte_at(i);
    const unsigned b = byte_at(i + 1);
    const unsigned c = byte_at(i + 2);
    field.push_back(Printable(a >> 2));
    field.push_back(Printable(((a & 0x03U) << 4) | (b >> 4)));
    field.push_back(Printable(((b & 0x0FU) << 2) | (c >> 6)));
    field.push_back(Printable(c & 0x3FU));
  }
  return field;
}

std::optional<Secret> DecodePw(std::string_view field) {
  // An empty field reads as a lone NUL: a length character below 0x20.
  const int count = field.empty() ? -1 : AnnouncedCount(field[0]);
  if (count == 0) {
    return std::nullopt;
  }
  Secret text;
  if (count < 0) {
    return text;
  }
  const std::size_t groups = (static_cast<std::size_t>(count) + 2) / 3;
  if (field.size() - 1 < 4 * groups) {
    return std::nullopt;
  }
  text.text().reserve(3 * groups);
  int left = count;
  for (std::size_t at = 1; left > 0; at += 4, left -= 3) {
    const std::uint8_t s0 = ValueOf(field[at]);
    const std::uint8_t s1 = ValueOf(field[at + 1]);
    const std::uint8_t s2 = ValueOf(field[at + 2]);
    const std::uint8_t s3 = ValueOf(field[at + 3]);
    text.text().push_back(static_cast<char>((s0 << 2) | ((s1 >> 4) & 0x03)));
    if (left > 1) {
      text.text().push_back(static_cast<char>((s1 << 4) | ((s2 >> 2) & 0x0F)));
    }
    if (left > 2) {
      text.text().push_back(static_cast<char>((s2 << 6) | s3));
    }
  }
  // A text ends at its first NUL.
  const std::size_t nul = text.view().find('\0');
  if (nul != std::string_view::npos) {
    text.text().resize(nul);
  }
  return text;
}

}  // namespace pwlevel::store
