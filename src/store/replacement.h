// The new password file of a change, written under a temporary name beside
// the password file and put in its place only once it is complete and on
// the disk. Nobody ever sees it half written.
#pragma once

#include <string>

#include "store/lines.h"

namespace pwlevel::store {

// Removes what changes killed before they finished left beside `target`:
// temporary files that no live change holds open.
void RemoveStaleReplacements(const std::string& target);

class ReplacementFile {
 public:
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Removes the temporary file unless it was committed.
  ~ReplacementFile();

  // Creates the temporary file beside `target` under an unpredictable name,
  // exclusively, with the access rights of `like` (made writable by its
  // owner).
  Status Create(const std::string& target, const File& like);

  [[nodiscard]] const File& file() const { return file_; }

  // Forces the file to the disk, closes it, renames it to the target (which
  // must not exist by then) and forces the directory to the disk.
  Status Commit();

 private:
  std::string target_;
  std::string temp_path_;
  File file_;
  bool in_place_ = false;
};

}  // namespace pwlevel::store
