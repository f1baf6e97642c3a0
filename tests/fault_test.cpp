// A change whose every file step, one at a time, fails: the answer, and
// exactly what the password file, its backup and the folder hold afterwards.
#include <gtest/gtest.h>

#include <string>

#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

using platform::Error;

const std::string kOld =
    "; head\r\n" + RecordLine("zero", "one", "two", "three") + "tail\r\n";
const std::string kNew =
    "; head\r\n" + RecordLine("zero", "one", "new", "three") + "tail\r\n";
const std::string kStale = "stale\r\n";
const std::string kAbsent = "<absent>";

struct FaultCase {
  const char* name;
  Step step;
  int nth;  // which call of the step fails
  Error error;
  int result;
  std::string pw_after;
  std::string backup_after;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultTest : public PwFileTest,
                  public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, LeavesAKnownStateThatTheNextChangeMends) {
  const FaultCase& c = GetParam();
  WritePw(kOld);
  WriteBytes(backup_path(), kStale);
  os_.FailAt(c.step, c.nth, {c.error, 0});
  EXPECT_EQ(Change(2, "new"), c.result);
  EXPECT_EQ(PwBytes(), c.pw_after);
  EXPECT_EQ(BackupBytes(), c.backup_after);
  // No temporary file is ever left, and the step really was reached.
  for (const std::string& name : Entries()) {
    EXPECT_TRUE(name == "pw.txt" || name == "pw.bak") << name;
  }
  EXPECT_GE(os_.Calls(c.step), c.nth) << StepName(c.step);

  // Verification meanwhile reads the file or its backup, never the default
  // record.
  EXPECT_EQ(Verify("admin"), -1);
  EXPECT_EQ(Verify("three"), 3);

  // The next change finds its way from whatever was left.
  ASSERT_EQ(Change(1, "again"), 0);
  EXPECT_EQ(Verify("again"), 1);
  EXPECT_EQ(PwBytes().rfind("; head\r\nPasswd=:", 0), 0U);
  EXPECT_EQ(PwBytes().substr(PwBytes().size() - 6), "tail\r\n");
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FaultTest,
    ::testing::Values(
        // Looking for a lone backup: a failed look changes nothing.
        FaultCase{"ProbeFails", Step::probe, 1, Error::failed, 0, kNew,
                  kAbsent},
        // Dropping the stale backup: only a refusal stops the change.
        FaultCase{"ClearingStaleReadOnlyFails", Step::clear_read_only, 1,
                  Error::failed, 0, kNew, kAbsent},
        // The stale backup is dropped only while the file is held open, so
        // that no other change can move the file to the backup name then.
        FaultCase{"HoldingTheFileFails", Step::open_read, 1, Error::failed, -2,
                  kOld, kStale},
        FaultCase{"DeletingStaleBackupDenied", Step::remove, 1,
                  Error::access_denied, -2, kOld, kStale},
        FaultCase{"DeletingStaleBackupFails", Step::remove, 1, Error::failed,
                  -2, kOld, kStale},
        // Moving the file to its backup name.
        FaultCase{"RenameToBackupDenied", Step::rename, 1, Error::access_denied,
                  -2, kOld, kAbsent},
        // Writing the new file: the file stays away, the backup whole.
        FaultCase{"OpeningBackupFails", Step::open_read, 2, Error::failed, -2,
                  kAbsent, kOld},
        FaultCase{"CreatingNewFileFails", Step::create_new, 1,
                  Error::access_denied, -2, kAbsent, kOld},
        FaultCase{"CopyingRightsFails", Step::copy_access, 1, Error::failed, -2,
                  kAbsent, kOld},
        FaultCase{"ReadingBackupFails", Step::read, 1, Error::failed, -2,
                  kAbsent, kOld},
        FaultCase{"WritingFails", Step::write, 1, Error::failed, -2, kAbsent,
                  kOld},
        FaultCase{"SyncingNewFileFails", Step::sync, 1, Error::failed, -2,
                  kAbsent, kOld},
        FaultCase{"ClosingNewFileFails", Step::close, 2, Error::failed, -2,
                  kAbsent, kOld},
        FaultCase{"PuttingNewFileInPlaceFails", Step::rename, 2, Error::failed,
                  -2, kAbsent, kOld},
        // Closing what was only read changes nothing on disk.
        FaultCase{"ClosingBackupFails", Step::close, 3, Error::failed, 0, kNew,
                  kAbsent},
        // The new file is in place; the backup is kept while that is not
        // known to be on the disk.
        FaultCase{"SyncingDirectoryFails", Step::sync_directory, 1,
                  Error::failed, -2, kNew, kOld},
        FaultCase{"ClearingBackupReadOnlyFails", Step::clear_read_only, 2,
                  Error::failed, 0, kNew, kAbsent},
        FaultCase{"DeletingBackupDenied", Step::remove, 2, Error::access_denied,
                  -2, kNew, kOld},
        FaultCase{"DeletingBackupFails", Step::remove, 2, Error::failed, 0,
                  kNew, kOld}),
    CaseName());

TEST_F(PwFileTest, ALoneBackupIsPutBackEvenWhenLeftoversCantBeListed) {
  WriteBytes(backup_path(), kOld);
  os_.FailAt(Step::list_directory, 1);
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_GE(os_.Calls(Step::list_directory), 1);
  EXPECT_EQ(PwBytes(), kNew);
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

TEST_F(PwFileTest, ALoneBackupThatCantBePutBackIsLeftAlone) {
  WriteBytes(backup_path(), kOld);
  os_.FailAt(Step::rename, 1, {Error::access_denied, 0});
  EXPECT_EQ(Change(2, "new"), -2);
  EXPECT_EQ(BackupBytes(), kOld);
  EXPECT_EQ(PwBytes(), kAbsent);
  EXPECT_EQ(Verify("two"), 2);
}

TEST_F(PwFileTest, AWriteFailureLateInALargeFileKeepsTheBackup) {
  std::string big = kOld;
  for (int i = 0; i < 5000; ++i) {
    big += "line " + std::to_string(i) + "\r\n";
  }
  WritePw(big);
  os_.FailAt(Step::write, 3, {Error::failed, 28 /* ENOSPC */});
  EXPECT_EQ(Change(2, "new"), -2);
  EXPECT_EQ(BackupBytes(), big);
  EXPECT_EQ(PwBytes(), kAbsent);
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.bak"});
}

}  // namespace
}  // namespace pwlevel::testing
