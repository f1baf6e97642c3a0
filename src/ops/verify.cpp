#include <cstring>
#include <optional>

#include "ops/ops.h"
#include "platform/platform.h"
#include "pwlevel.h"
#include "store/field.h"
#include "store/pwfile.h"

namespace pwlevel::ops {
namespace {

using platform::Error;
using platform::Status;
using store::File;
using store::Secret;

// A change holds the password file for an instant only: a sharing
// violation is worth a few short retries.
constexpr int kOpenAttempts = 10;
constexpr std::chrono::milliseconds kRetryPause{1};

// Changes move the file between its two names: a look at one name and then
// the other can miss it when a change puts its new file in place and the
// next one renames it to the backup name between the looks. Each round of
// looks that misses it takes another whole change, so a few rounds that all
// find nothing mean that there is no file.
constexpr int kLookRounds = 8;

// Opens the password file, or its backup while a change is under way (or
// after one failed). Not found only when neither exists.
Status OpenPwFileOrBackup(const std::string& path, File& file) {
  Status opened = OpenPatiently(path, file);
  if (opened.error != Error::not_found) {
    return opened;
  }
  const std::optional<std::string> backup = store::BackupName(path);
  if (!backup.has_value()) {
    return opened;
  }
  for (int round = 0; round < kLookRounds && opened.error == Error::not_found;
       ++round) {
    opened = OpenPatiently(*backup, file);
    if (opened.error == Error::not_found) {
      opened = OpenPatiently(path, file);
    }
  }
  return opened;
}

// The record line that decides, or none when the verification must refuse:
// a file that can't be read, or that holds no record line, opens nothing.
std::optional<Secret> RecordInForce(const std::string& path) {
  File file;
  const Status opened = OpenPwFileOrBackup(path, file);
  if (opened.error == Error::not_found) {
    return Secret(store::DefaultPwRecord());
  }
  if (!opened.ok()) {
    return std::nullopt;
  }
  store::LineReader reader(file);
  return store::FindPwRecord(reader);
}

}  // namespace

Status OpenPatiently(const std::string& path, File& file) {
  Status opened = File::OpenRead(path, file);
  for (int attempt = 1;
       attempt < kOpenAttempts && opened.error == Error::access_denied;
       ++attempt) {
    platform::Os().Pause(kRetryPause);
    opened = File::OpenRead(path, file);
  }
  return opened;
}

void CutAtFirstSpace(char* password) {
  char* space = std::strchr(password, ' ');
  if (space != nullptr) {
    *space = '\0';
  }
}

int MatchLevel(std::string_view record, std::string_view password) {
  const auto fields = store::PwFields(record);
  for (int level = store::kLevels - 1; level >= 0; --level) {
    const std::optional<std::string_view>& field =
        fields[static_cast<std::size_t>(level)];
    if (!field.has_value()) {
      continue;
    }
    const std::optional<Secret> text = store::DecodePw(*field);
    if (!text.has_value()) {
      continue;
    }
    const std::string_view stored =
        text->view().substr(0, text->view().find('.'));
    if (store::SameSecret(stored, password)) {
      return level;
    }
  }
  return PWLEVEL_NO_LEVEL;
}

int VerifyPassword(std::string_view password) {
  const std::optional<Secret> record = RecordInForce(store::LocatePwFile());
  return record.has_value() ? MatchLevel(record->view(), password)
                            : PWLEVEL_NO_LEVEL;
}

}  // namespace pwlevel::ops

extern "C" PWLEVEL_API int32_t VerifyPw(char* password) {
  if (password == nullptr) {
    return PWLEVEL_NO_LEVEL;
  }
  try {
    pwlevel::ops::CutAtFirstSpace(password);
    return pwlevel::ops::VerifyPassword(password);
  } catch (...) {
    return PWLEVEL_NO_LEVEL;
  }
}
