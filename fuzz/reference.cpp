#include "reference.h"

namespace pwlevel::fuzzing {

std::vector<std::string> TextLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\x1A'));
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (bytes[at] == '\n') {
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      lines.push_back(line + '\n');
      line.clear();
    } else {
      line += bytes[at];
    }
  }
  if (!line.empty()) {
    lines.push_back(line);
  }
  return lines;
}

std::optional<std::string> Field(std::string_view text, std::size_t n,
                                 char separator) {
  std::vector<std::string> fields(1);
  for (const char c : text) {
    if (c == separator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (n >= fields.size()) {
    return std::nullopt;
  }
  return fields[n];
}

bool IsRecordLine(std::string_view line) {
  if (line.starts_with(';')) {
    return false;
  }
  const std::size_t equals = line.find('=');
  return (equals == std::string_view::npos ? line : line.substr(0, equals)) ==
         "Passwd";
}

namespace {

char Printable(unsigned value) {
  const auto c = static_cast<char>((value + 32) % 256);
  return c == ':' ? '\x01' : c;
}

unsigned Value(char c) {
  const char restored = c == '\x01' ? ':' : c;
  return (static_cast<unsigned char>(restored) + 256U - 32U) % 256U;
}

}  // namespace

std::string Encode(std::string_view text) {
  std::string field(1, Printable(static_cast<unsigned>(text.size())));
  for (std::size_t i = 0; i < text.size(); i += 3) {
    unsigned bytes[3] = {0, 0, 0};
    for (std::size_t k = 0; k < 3 && i + k < text.size(); ++k) {
      bytes[k] = static_cast<unsigned char>(text[i + k]);
    }
    field += Printable(bytes[0] / 4);
    field += Printable((bytes[0] % 4) * 16 + bytes[1] / 16);
    field += Printable((bytes[1] % 16) * 4 + bytes[2] / 64);
    field += Printable(bytes[2] % 64);
  }
  return field;
}

std::optional<std::string> Decode(std::string_view field) {
  if (field.empty()) {
    return std::string();
  }
  const char length = field[0] == '\x01' ? ':' : field[0];
  const int count = static_cast<signed char>(length) - 32;
  if (count == 0) {
    return std::nullopt;
  }
  if (count < 0) {
    return std::string();
  }
  std::string text;
  std::size_t at = 1;
  for (int left = count; left > 0; left -= 3, at += 4) {
    if (at + 4 > field.size()) {
      return std::nullopt;
    }
    const unsigned s0 = Value(field[at]);
    const unsigned s1 = Value(field[at + 1]);
    const unsigned s2 = Value(field[at + 2]);
    const unsigned s3 = Value(field[at + 3]);
    // The last value is not cut to six bits: its high bits join in.
    text += static_cast<char>(((s0 << 2U) | ((s1 >> 4U) & 0x03U)) & 0xFFU);
    if (left > 1) {
      text += static_cast<char>(((s1 << 4U) | ((s2 >> 2U) & 0x0FU)) & 0xFFU);
    }
    if (left > 2) {
      text += static_cast<char>(((s2 << 6U) | s3) & 0xFFU);
    }
  }
  return text.substr(0, text.find('\0'));
}

int Match(std::string_view record, std::string_view password) {
  for (int level = 3; level >= 0; --level) {
    const std::optional<std::string> field =
        Field(record, static_cast<std::size_t>(level) + 1, ':');
    if (!field.has_value()) {
      continue;
    }
    const std::optional<std::string> text = Decode(*field);
    if (text.has_value() && text->substr(0, text->find('.')) == password) {
      return level;
    }
  }
  return -1;
}

}  // namespace pwlevel::fuzzing
