// A plain second reading of the password file's rules, written for clarity
// rather than speed and sharing no code with the library. The fuzz targets
// hold the library's answers against it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pwlevel::fuzzing {

// The lines of a file's bytes as text mode reads them: CR LF is one line
// break ('\n'), a CR on its own is an ordinary byte, and the first 0x1A ends
// the file. Each line keeps its '\n'; a last line without one has none.
std::vector<std::string> TextLines(std::string_view bytes);

// Field `n` of `text` at `separator`, or none when the text holds fewer than
// `n` separators.
std::optional<std::string> Field(std::string_view text, std::size_t n,
                                 char separator);

// Not a comment line, and the text before the first '=' (the whole line
// when it has none) is exactly "Passwd".
bool IsRecordLine(std::string_view line);

// The field form of `text` (at most 189 bytes).
std::string Encode(std::string_view text);

// The text a field holds. An empty field and a length character below 0x20
// give the empty text; a field that announces zero bytes, or fewer groups
// than its length character announces, gives none. The text ends at its
// first NUL.
std::optional<std::string> Decode(std::string_view field);

// The level (3 down to 0) whose field in `record` holds `password` before
// its first '.', or -1.
int Match(std::string_view record, std::string_view password);

}  // namespace pwlevel::fuzzing
