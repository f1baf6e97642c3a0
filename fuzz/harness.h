// What the fuzz targets share: a private folder whose pw.txt the library
// finds through PASSWD, and a check that stops the run on a fault.
//
// The library reads its environment once, when it is loaded, so PASSWD is
// given through the test platform, which stands in for the environment and
// forwards every file call to the real backend.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_platform.h"

namespace pwlevel::fuzzing {

// Stops the run with `what` when `holds` is false; libFuzzer keeps the input
// that did it.
void Check(bool holds, const char* what);

class Workspace {
 public:
  // The one workspace of the run, made on first use and removed at exit.
  static Workspace& Get();

  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
  ~Workspace();

  // Empties the folder and writes `bytes` as the password file.
  void Reset(std::string_view bytes);
  [[nodiscard]] std::string PwBytes() const;
  // The names in the folder.
  [[nodiscard]] std::set<std::string> Entries() const;

 private:
  Workspace();

  std::string dir_;
  std::string pw_path_;
  testing::TestPlatform os_;
  platform::ScopedPlatform in_force_{os_};
};

// A fuzz input read as a password, a NUL, then the password file's bytes.
// Without a NUL the password is empty and the whole input is the file.
struct PasswordAndFile {
  std::string_view password;
  std::string_view file;
};
PasswordAndFile SplitAtNul(std::string_view bytes);

// How many descriptors the process holds open.
std::size_t OpenDescriptors();

// A writable, NUL-terminated copy of `text`, as a host hands it over.
std::vector<char> CString(std::string_view text);

// The buffer a caller should see after the library cut `text` at its first
// space.
std::vector<char> CutAtSpace(std::string_view text);

}  // namespace pwlevel::fuzzing
