#include "check.h"

#include <optional>
#include <string>

#include "platform/platform.h"
#include "store/field.h"
#include "store/pwfile.h"

namespace pwlevel::tool {
namespace {

using platform::Os;
using store::Secret;

struct RecordSearch {
  std::optional<Secret> record;
  long line_number = 0;  // of the record line, or of the line that failed
  bool read_failed = false;
};

RecordSearch SearchRecord(const store::File& file) {
  RecordSearch search;
  store::LineReader reader(file);
  Secret line;
  for (;;) {
    const store::LineReader::Outcome outcome = reader.Next(line.text());
    ++search.line_number;
    if (outcome == store::LineReader::Outcome::failed) {
      search.read_failed = true;
      return search;
    }
    if (outcome == store::LineReader::Outcome::end) {
      return search;
    }
    if (store::IsPwRecord(line.view())) {
      search.record = std::move(line);
      return search;
    }
  }
}

// One line on what a level's field lets in; true when the level can be
// opened at all.
bool ReportLevel(std::ostream& out, std::string_view record, int level) {
  out << "  level " << level << ": ";
  const std::optional<std::string_view> field = store::PwField(record, level);
  if (!field.has_value()) {
    out << "no password field: no password opens it\n";
    return false;
  }
  const std::optional<Secret> text = store::DecodePw(*field);
  if (!text.has_value()) {
    out << (!field->empty() && field->front() == ' '
                ? "empty password field: no password opens it\n"
                : "damaged password field: no password opens it\n");
    return false;
  }
  const std::string_view password =
      text->view().substr(0, text->view().find('.'));
  out << (password.empty() ? "the empty password opens it\n"
                           : "password set\n");
  return true;
}

// Reports on the record line of `path`; answers the number of problems.
int ReportRecord(std::ostream& out, const std::string& path) {
  store::File file;
  const platform::Status opened = store::File::OpenRead(path, file);
  if (!opened.ok()) {
    out << "cannot be opened (" << Os().Describe(opened)
        << "): every verification refuses\n";
    return 1;
  }
  const RecordSearch search = SearchRecord(file);
  if (search.read_failed) {
    out << "reading failed at line " << search.line_number
        << ": every verification refuses\n";
    return 1;
  }
  if (!search.record.has_value()) {
    out << "no record line (a line \"" << store::kPwKey
        << "=...\" before any 0x1A byte): every verification refuses\n";
    return 1;
  }
  out << "record line: line " << search.line_number << '\n';
  int problems = 0;
  for (int level = 0; level < store::kLevels; ++level) {
    problems += ReportLevel(out, search.record->view(), level) ? 0 : 1;
  }
  return problems;
}

}  // namespace

int RunCheck(std::ostream& out) {
  const std::string path = store::LocatePwFile();
  const bool named = Os().GetEnv("PASSWD").has_value();
  out << "password file: \"" << path << "\" ("
      << (named ? "from PASSWD" : "built-in default path") << ")\n";
  const std::optional<std::string> backup = store::BackupName(path);
  const bool file_exists = Os().Probe(path).ok();
  const bool backup_exists = backup.has_value() && Os().Probe(*backup).ok();
  if (!file_exists && !backup_exists) {
    out << "it does not exist: the built-in default passwords are in force\n";
    return 0;
  }
  int problems = 0;
  if (!file_exists) {
    out << "it does not exist, but its backup \"" << *backup
        << "\" does: an earlier change did not finish.\n"
           "Verifications read the backup; the next change puts it back in "
           "place, then changes the password as usual.\nThe backup:\n";
    ++problems;
  } else {
    out << "it exists\n";
    if (backup_exists) {
      out << "a backup \"" << *backup
          << "\" lies beside it, left by a change that failed after writing "
             "the new file; the next change deletes it\n";
    }
  }
  problems += ReportRecord(out, file_exists ? path : *backup);
  return problems == 0 ? 0 : 1;
}

}  // namespace pwlevel::tool
