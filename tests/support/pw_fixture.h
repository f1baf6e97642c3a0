// One fixture for the library's tests: a fresh folder with PASSWD naming
// "pw.txt" in it, the test platform in force, and helpers to lay files down
// and read them back.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "support/test_platform.h"

namespace pwlevel::testing {

// `bytes` with every byte outside printable ASCII written as \xNN, for
// test listings.
std::string Printable(std::string_view bytes);

// Bytes of a file, or "<absent>" when there is none.
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// The field form of `password` at `level`, as a change writes it.
std::string FieldFor(const std::string& password, int level);
// A record line in written form holding the four passwords, CR LF ended.
std::string RecordLine(const std::string& p0, const std::string& p1,
                       const std::string& p2, const std::string& p3);

// Call the exported functions with a writable copy of `password`.
int Verify(const std::string& password);
int Change(int level, const std::string& password);

// Names the cases of a parameterised test by their `name` member.
struct CaseName {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& param) const {
    return param.param.name;
  }
};

class PwFileTest : public ::testing::Test {
 protected:
  PwFileTest();
  ~PwFileTest() override;

  std::filesystem::path dir() const { return dir_; }
  std::string pw_path() const { return (dir_ / "pw.txt").string(); }
  std::string backup_path() const { return (dir_ / "pw.bak").string(); }

  void WritePw(const std::string& bytes) { WriteBytes(pw_path(), bytes); }
  std::string PwBytes() const { return ReadBytes(pw_path()); }
  std::string BackupBytes() const { return ReadBytes(backup_path()); }
  // The names in the folder, to see that nothing was left behind.
  std::set<std::string> Entries() const;

  TestPlatform os_;

 private:
  std::filesystem::path dir_;
  platform::ScopedPlatform in_force_{os_};
};

}  // namespace pwlevel::testing
