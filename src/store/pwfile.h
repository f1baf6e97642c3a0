// The password file: where it is, its record line and the backup name.
//
// A line whose first character is ';' is a comment line. The record line is
// the first other line whose key, the text before its first '=' (the whole
// line when it has none), is exactly "Passwd". Its fields at ':' are: field 0
// the key, '=' and whatever follows up to the first ':'; fields 1 to 4 the
// password fields of levels 0 to 3; anything after the fifth ':' belongs to
// no level.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "store/lines.h"
#include "store/secret.h"

namespace pwlevel::store {

inline constexpr int kLevels = 4;
inline constexpr std::string_view kPwKey = "Passwd";

// The path of the password file: the value of PASSWD when it is set, even
// empty, used as it stands; otherwise the built-in default path.
std::string LocatePwFile();

// The built-in default path, in this system's own form.
std::string DefaultPwPath();

// Where the file name of `path` starts: after its last '/' or '\'.
std::size_t FileNameStart(std::string_view path);

// The backup name of a password file: the path cut at the first '.' of its
// file name (after the last '/' or '\'), with ".bak" appended. No result when
// the path names no file (it is empty or ends in a separator).
std::optional<std::string> BackupName(std::string_view path);

bool IsPwRecord(std::string_view line);

// The password field of `level` in a record line, if it has one.
std::optional<std::string_view> PwField(std::string_view record, int level);

// A record line in written form, without a line break, from the password
// fields of levels 0 to 3.
std::string FormatPwRecord(const std::array<std::string_view, kLevels>& fields);

// The record line that stands in when there is no password file.
std::string DefaultPwRecord();

// The default password of each level, as DefaultPwRecord holds them.
inline constexpr std::array<std::string_view, kLevels> kDefaultPasswords = {
    "guest", "operator", "service", "admin"};

// What a password field encodes: the password, '.', and the level digit.
Secret LevelText(std::string_view password, int level);

// Reads `reader` up to the first record line. No result when the file ends,
// or a read fails, before one.
std::optional<Secret> FindPwRecord(LineReader& reader);

}  // namespace pwlevel::store
