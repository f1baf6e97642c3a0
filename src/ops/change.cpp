#include <array>
#include <cstring>
#include <optional>

#include "ops/ops.h"
#include "pwlevel.h"
#include "store/field.h"
#include "store/pwfile.h"
#include "store/replacement.h"

namespace pwlevel::ops {
namespace {

using platform::Error;
using platform::Status;
using store::File;
using store::Secret;

// The field form of the empty text: what a level that a record line lacks
// is given. It matches no password, not even the empty one.
constexpr std::string_view kNoPasswordField = " ";

ChangeOutcome Failed(const char* step, Status cause) {
  return {PWLEVEL_FILE_ERROR, step, cause};
}

// `record` (a line read from the file) rewritten in written form, with
// `new_field` for `level` and the other fields kept byte for byte. The old
// line break belongs to no field; the new line ends with one.
Secret RewriteRecord(std::string_view record, int level,
                     std::string_view new_field) {
  if (!record.empty() && record.back() == '\n') {
    record.remove_suffix(1);
  }
  std::array<std::string_view, store::kLevels> fields;
  for (int i = 0; i < store::kLevels; ++i) {
    fields[static_cast<std::size_t>(i)] =
        i == level ? new_field
                   : store::PwField(record, i).value_or(kNoPasswordField);
  }
  Secret rewritten(store::FormatPwRecord(fields));
  rewritten.text() += '\n';
  return rewritten;
}

struct CopyOutcome {
  Status status;               // the first read or write that failed
  const char* step = nullptr;  // ... and what it was doing
  bool found_record = false;   // a record line was met and rewritten
};

// Copies `from` into `to` line by line, rewriting every record line.
CopyOutcome CopyWithNewField(const File& from, const File& to, int level,
                             std::string_view new_field) {
  CopyOutcome outcome;
  store::LineReader reader(from);
  store::LineWriter writer(to);
  Secret spill;  // lines that run across reads
  std::string_view line;
  store::LineReader::Outcome read = store::LineReader::Outcome::line;
  while ((read = reader.Next(line, spill.text())) ==
         store::LineReader::Outcome::line) {
    const bool is_record = store::IsPwRecord(line);
    outcome.found_record = outcome.found_record || is_record;
    const Status written =
        is_record ? writer.PutLine(RewriteRecord(line, level, new_field).view())
                  : writer.PutLine(line);
    if (!written.ok()) {
      return {written, "writing the new file", outcome.found_record};
    }
  }
  if (read == store::LineReader::Outcome::failed) {
    return {reader.failure(), "reading the backup", outcome.found_record};
  }
  if (Status flushed = writer.Flush(); !flushed.ok()) {
    return {flushed, "writing the new file", outcome.found_record};
  }
  return outcome;
}

// A change that was cut short may have left the backup without a password
// file. The backup is then the only complete copy: it goes back into place
// before anything else happens to it. A change killed while writing leaves
// exactly this state, and its temporary file beside it: that goes too.
Status RestoreLoneBackup(const std::string& path, const std::string& backup) {
  platform::Platform& os = platform::Os();
  if (os.Probe(path).error != Error::not_found || !os.Probe(backup).ok()) {
    return Status::Ok();
  }
  store::RemoveStaleReplacements(path);
  return os.Rename(backup, path);
}

// Drops a backup, read-only or not. Only a refusal counts as a failure:
// most often there is simply no backup.
Status DropBackup(const std::string& backup) {
  platform::Platform& os = platform::Os();
  os.ClearReadOnly(backup);
  const Status removed = os.Remove(backup);
  return removed.error == Error::access_denied ? removed : Status::Ok();
}

// Drops the backup while holding the password file open, so that no other
// change can rename the password file to the backup name meanwhile: the
// backup dropped is then stale, or what a change left after putting its new
// file in place, and never the only copy that a change under way reads.
// Without a password file there is nothing to drop it beside: a change
// under way has made it its backup.
Status DropBackupBeside(const std::string& path, const std::string& backup) {
  if (platform::Os().Probe(backup).error == Error::not_found) {
    return Status::Ok();
  }
  File held;
  const Status opened = OpenPatiently(path, held);
  if (opened.error == Error::not_found) {
    return Status::Ok();
  }
  return opened.ok() ? DropBackup(backup) : opened;
}

// Writes the new password file from the backup and puts it in place.
ChangeOutcome RewriteFromBackup(const std::string& path,
                                const std::string& backup, int level,
                                std::string_view new_field) {
  File old_file;
  if (Status opened = File::OpenRead(backup, old_file); !opened.ok()) {
    return Failed("opening the backup", opened);
  }
  store::ReplacementFile fresh;
  if (Status created = fresh.Create(path, old_file); !created.ok()) {
    return Failed("creating the new file", created);
  }
  const CopyOutcome copy =
      CopyWithNewField(old_file, fresh.file(), level, new_field);
  if (!copy.status.ok()) {
    return Failed(copy.step, copy.status);
  }
  // The backup stays open until the new file is in place: while it is held,
  // no other change takes it for a backup left alone and puts it back.
  if (Status committed = fresh.Commit(); !committed.ok()) {
    return Failed("putting the new file in place", committed);
  }
  old_file.Close();
  if (Status dropped = DropBackupBeside(path, backup); !dropped.ok()) {
    return Failed("deleting the backup", dropped);
  }
  return {copy.found_record ? PWLEVEL_CHANGED : PWLEVEL_REFUSED, nullptr, {}};
}

}  // namespace

ChangeOutcome ChangePassword(int level, std::string_view password) {
  const std::string path = store::LocatePwFile();
  const std::optional<std::string> backup = store::BackupName(path);
  if (!backup.has_value()) {
    return Failed("naming the backup", {Error::not_found, 0});
  }
  const Secret new_field(
      store::EncodePw(store::LevelText(password, level).view()));
  if (Status restored = RestoreLoneBackup(path, *backup); !restored.ok()) {
    return Failed("putting the backup back in place", restored);
  }
  if (Status dropped = DropBackupBeside(path, *backup); !dropped.ok()) {
    return Failed("deleting a stale backup", dropped);
  }
  if (Status renamed = platform::Os().Rename(path, *backup); !renamed.ok()) {
    return Failed("renaming it to its backup name", renamed);
  }
  return RewriteFromBackup(path, *backup, level, new_field.view());
}

}  // namespace pwlevel::ops

extern "C" PWLEVEL_API int32_t ChangePw(int32_t level, char* password) {
  if (password == nullptr || level < PWLEVEL_MIN_LEVEL ||
      level > PWLEVEL_MAX_LEVEL ||
      std::strlen(password) > PWLEVEL_MAX_PASSWORD) {
    return PWLEVEL_REFUSED;
  }
  try {
    pwlevel::ops::CutAtFirstSpace(password);
    return pwlevel::ops::ChangePassword(level, password).result;
  } catch (...) {
    return PWLEVEL_FILE_ERROR;
  }
}
