#include "store/pwfile.h"

#include "platform/platform.h"
#include "store/field.h"

#ifndef PWLEVEL_DEFAULT_PATH
#define PWLEVEL_DEFAULT_PATH "C:\\TOOLS\\PASSWD"
#endif

namespace pwlevel::store {

std::string DefaultPwPath() {
  return platform::Os().DefaultPathToNative(PWLEVEL_DEFAULT_PATH);
}

std::string LocatePwFile() {
  std::optional<std::string> named = platform::Os().GetEnv("PASSWD");
  return named.has_value() ? std::move(*named) : DefaultPwPath();
}

std::size_t FileNameStart(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

std::optional<std::string> BackupName(std::string_view path) {
  const std::size_t name_start = FileNameStart(path);
  if (name_start == path.size()) {
    return std::nullopt;
  }
  const std::size_t dot = path.find('.', name_start);
  std::string backup(path.substr(0, dot));
  backup += ".bak";
  return backup;
}

bool IsPwRecord(std::string_view line) {
  // The key, the text before the first '=', is "Passwd" exactly when the line
  // starts with it and ends or goes on with '=' there; a comment line starts
  // with ';'. Other lines are told apart by their first bytes, not scanned.
  return line.starts_with(kPwKey) &&
         (line.size() == kPwKey.size() || line[kPwKey.size()] == '=');
}

std::optional<std::string_view> PwField(std::string_view record, int level) {
  return GetField(record, static_cast<std::size_t>(level) + 1, ':');
}

std::array<std::optional<std::string_view>, kLevels> PwFields(
    std::string_view record) {
  std::array<std::optional<std::string_view>, kLevels> fields;
  // Field i runs from the i-th ':' to the next one, or to the end.
  std::size_t colon = record.find(':');
  for (std::size_t level = 0;
       level < fields.size() && colon != std::string_view::npos; ++level) {
    const std::size_t next = record.find(':', colon + 1);
    fields[level] = record.substr(colon + 1, next == std::string_view::npos
                                                 ? std::string_view::npos
                                                 : next - colon - 1);
    colon = next;
  }
  return fields;
}

std::string FormatPwRecord(
    const std::array<std::string_view, kLevels>& fields) {
  std::string record(kPwKey);
  record += "=:";
  for (const std::string_view field : fields) {
    record += field;
    record += ':';
  }
  return record;
}

std::string DefaultPwRecord() {
  std::array<Secret, kLevels> texts;
  std::array<std::string, kLevels> encoded;
  std::array<std::string_view, kLevels> fields;
  for (int level = 0; level < kLevels; ++level) {
    const auto at = static_cast<std::size_t>(level);
    texts[at] = LevelText(kDefaultPasswords[at], level);
    encoded[at] = EncodePw(texts[at].view());
    fields[at] = encoded[at];
  }
  return FormatPwRecord(fields);
}

Secret LevelText(std::string_view password, int level) {
  Secret text;
  text.text().reserve(password.size() + 2);
  text.text() += password;
  text.text() += '.';
  text.text() += static_cast<char>('0' + level);
  return text;
}

std::optional<Secret> FindPwRecord(LineReader& reader) {
  Secret spill;  // lines that run across reads
  std::string_view line;
  while (reader.Next(line, spill.text()) == LineReader::Outcome::line) {
    if (IsPwRecord(line)) {
      Secret record;
      record.text().reserve(line.size());
      record.text() = line;
      return record;
    }
  }
  return std::nullopt;
}

}  // namespace pwlevel::store
