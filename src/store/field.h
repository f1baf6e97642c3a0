// Field splitting and the field codec: the printable form in which the
// password file keeps each password.
//
// A field is the six-bit printable encoding of uuencode applied to one short
// text: a length character (the text's length + 32), then four characters
// for every three bytes, each a six-bit value + 32. A ':' never stands in a
// field, since ':' separates the fields of a record line: every ':' the
// encoding makes is written as the byte 0x01.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/secret.h"

namespace pwlevel::store {

// Field `index` of `text` at `separator`: field 0 runs from the start to the
// first separator, field k from the k-th separator to the next one or to the
// end of the text. No result when the text holds fewer than `index`
// separators. The result views `text`.
std::optional<std::string_view> GetField(std::string_view text,
                                         std::size_t index, char separator);

// The field form of `text`.
std::string EncodePw(std::string_view text);

// The text a field holds, up to its first NUL. No result when the field
// announces zero bytes, or when it is shorter than the groups its length
// character announces (a damaged field matches nothing). A field whose length
// character reads below 0x20 (or is missing) holds the empty text.
std::optional<Secret> DecodePw(std::string_view field);

}  // namespace pwlevel::store
