// Verification and change, behind the two exported functions.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "store/lines.h"

namespace pwlevel::ops {

// Cuts a caller's password at its first space, in place.
void CutAtFirstSpace(char* password);

// Opens `path` for reading, retrying a few times while it is refused for a
// sharing violation: a change holds a file for an instant only.
platform::Status OpenPatiently(const std::string& path, store::File& file);

// The level that `password` opens in the password file in use, or -1.
int VerifyPassword(std::string_view password);

// The level that `password` opens in `record`, or -1. Levels are tried from
// 3 down to 0, so the highest level holding the password wins.
int MatchLevel(std::string_view record, std::string_view password);

// What a change came to: the exported result, and for a failed file step
// which step it was and what the system said.
struct ChangeOutcome {
  int result = 0;
  const char* failed_step = nullptr;
  platform::Status cause;
};

// Sets the password of `level` (0 to 3) in the password file in use: result
// 0, -1 when the file has no record line, -2 when a file step fails. The
// arguments are checked by the caller.
ChangeOutcome ChangePassword(int level, std::string_view password);

}  // namespace pwlevel::ops
