// Field splitting on any text, at any separator: GetField agrees with the
// reference and its result lies within the text. The input is the field
// index (its low four bits), the separator, then the text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "harness.h"
#include "reference.h"
#include "store/field.h"

using pwlevel::fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) {
    return 0;
  }
  const std::size_t index = data[0] & 0x0FU;
  const auto separator = static_cast<char>(data[1]);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bytes as text
  const std::string_view text(reinterpret_cast<const char*>(data) + 2,
                              size - 2);

  const std::optional<std::string_view> field =
      pwlevel::store::GetField(text, index, separator);
  const std::optional<std::string> expected =
      pwlevel::fuzzing::Field(text, index, separator);
  Check(field.has_value() == expected.has_value(),
        "GetField gives a field exactly when the text has that many");
  if (field.has_value()) {
    Check(*field == *expected, "GetField agrees with the reference");
    Check(field->data() >= text.data() &&
              field->data() + field->size() <= text.data() + text.size(),
          "the field lies within the text");
  }
  return 0;
}
