// A change of any password file. The input is a byte that picks the level
// (-1 to 4, so that both sides out of range come up), the new password, a
// NUL, then the old file's bytes (without a NUL, the password is empty).
//
// Afterwards: a bad level or a password over 8 bytes left everything as it
// was; otherwise every line other than a record line is back unchanged and
// in its place (line breaks written as CR LF), every record line is in
// written form with the new field at the level and the other fields kept,
// it verifies the new password at that level or at a higher one holding the
// same, and no backup or temporary file is left.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"
#include "pwlevel.h"
#include "reference.h"

namespace {

namespace ref = pwlevel::fuzzing;
using ref::Check;

constexpr int kLevels = 4;

bool LineBreaksAreCrLf(std::string_view bytes) {
  for (std::size_t at = bytes.find('\n'); at != std::string_view::npos;
       at = bytes.find('\n', at + 1)) {
    if (at == 0 || bytes[at - 1] != '\r') {
      return false;
    }
  }
  return true;
}

// `rewritten`, the new form of the record line `old`, holds `new_field` at
// `level` and the old line's other fields byte for byte; a field the old line
// lacks matches nothing.
void CheckRecordLine(std::string_view old, std::string_view rewritten,
                     int level, std::string_view new_field) {
  Check(rewritten.starts_with("Passwd=:") && rewritten.ends_with(":\n"),
        "a record line is rewritten in written form");
  if (old.ends_with('\n')) {
    old.remove_suffix(1);
  }
  const std::string_view body = rewritten.substr(8, rewritten.size() - 10);
  for (int other = 0; other < kLevels; ++other) {
    const auto at = static_cast<std::size_t>(other);
    const std::optional<std::string> field = ref::Field(body, at, ':');
    Check(field.has_value(), "a rewritten record line has four fields");
    if (other == level) {
      Check(*field == new_field, "the level gets the new field");
      continue;
    }
    const std::optional<std::string> kept = ref::Field(old, at + 1, ':');
    if (kept.has_value()) {
      Check(*field == *kept, "the other fields are kept byte for byte");
    } else {
      Check(!ref::Decode(*field).has_value(),
            "a field the old line lacked matches no password");
    }
  }
  Check(!ref::Field(body, kLevels, ':').has_value(),
        "a rewritten record line has no fifth field");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const int level = data[0] % 6 - 1;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bytes as text
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1,
                              size - 1);
  const auto [password, file] = ref::SplitAtNul(rest);

  ref::Workspace& workspace = ref::Workspace::Get();
  workspace.Reset(file);
  const std::size_t descriptors = ref::OpenDescriptors();
  std::vector<char> buffer = ref::CString(password);

  const int result = ChangePw(level, buffer.data());

  Check(ref::OpenDescriptors() == descriptors, "no file is left open");
  Check(workspace.Entries() == std::set<std::string>{"pw.txt"},
        "no backup or temporary file is left");
  if (level < PWLEVEL_MIN_LEVEL || level > PWLEVEL_MAX_LEVEL ||
      password.size() > PWLEVEL_MAX_PASSWORD) {
    Check(result == PWLEVEL_REFUSED, "bad arguments are refused");
    Check(workspace.PwBytes() == file, "a refused change touches nothing");
    return 0;
  }
  Check(buffer == ref::CutAtSpace(password),
        "the password is cut at its first space and otherwise left alone");

  const std::string stored(password.substr(0, password.find(' ')));
  const std::string new_field =
      ref::Encode(stored + '.' + static_cast<char>('0' + level));
  const std::string typed = stored.substr(0, stored.find('.'));
  const std::string bytes_after = workspace.PwBytes();
  Check(LineBreaksAreCrLf(bytes_after), "line breaks are written as CR LF");
  Check(bytes_after.find('\x1A') == std::string::npos,
        "nothing from 0x1A on is carried over");
  const std::vector<std::string> before = ref::TextLines(file);
  const std::vector<std::string> after = ref::TextLines(bytes_after);
  Check(after.size() == before.size(), "no line is lost or added");

  bool found = false;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!ref::IsRecordLine(before[i])) {
      Check(after[i] == before[i], "every other line comes back unchanged");
      continue;
    }
    found = true;
    CheckRecordLine(before[i], after[i], level, new_field);
    Check(ref::Match(after[i], typed) >= level,
          "the new password verifies at its level, unless a higher level "
          "holds it too");
  }
  Check(result == (found ? PWLEVEL_CHANGED : PWLEVEL_REFUSED),
        "ChangePw succeeds exactly when the file has a record line");
  if (found) {
    std::vector<char> again = ref::CString(typed);
    Check(VerifyPw(again.data()) >= level,
          "VerifyPw accepts the new password after the change");
  }
  return 0;
}
