// The field codec on any bytes. Decoding the input as a field reads nothing
// outside it and agrees with the reference; encoding the input as a text
// gives a field of the written form that decodes back to the text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "harness.h"
#include "reference.h"
#include "store/field.h"

namespace {

using pwlevel::fuzzing::Check;
using pwlevel::store::Secret;

// The longest text whose field a 256-byte buffer holds.
constexpr std::size_t kLongestText = 189;
// The longest text whose length character reads back as a count.
constexpr std::size_t kLongestReadableText = 95;

void CheckDecode(std::string_view field) {
  const std::optional<Secret> decoded = pwlevel::store::DecodePw(field);
  const std::optional<std::string> expected = pwlevel::fuzzing::Decode(field);
  Check(decoded.has_value() == expected.has_value(),
        "DecodePw gives a result exactly when the reference does");
  if (decoded.has_value()) {
    Check(decoded->view() == *expected, "DecodePw agrees with the reference");
  }
}

void CheckRoundTrip(std::string_view text) {
  const std::string field = pwlevel::store::EncodePw(text);
  Check(field == pwlevel::fuzzing::Encode(text),
        "EncodePw agrees with the reference");
  Check(field.size() == 1 + 4 * ((text.size() + 2) / 3),
        "a field has a length character and four characters a group");
  Check(field.find_first_of(":\n") == std::string::npos,
        "a field holds no ':' and no line break");
  const std::optional<Secret> back = pwlevel::store::DecodePw(field);
  if (text.empty()) {
    Check(!back.has_value(), "the empty text's field decodes to no result");
  } else if (text.size() > kLongestReadableText) {
    Check(back.has_value() && back->view().empty(),
          "a text over 95 bytes reads back as the empty text");
  } else {
    Check(back.has_value() && back->view() == text.substr(0, text.find('\0')),
          "a text of 1 to 95 bytes comes back, up to its first NUL");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bytes as text
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckDecode(bytes);
  CheckRoundTrip(bytes.substr(0, kLongestText));
  return 0;
}
