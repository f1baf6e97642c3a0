// Changing a password: what the new file holds, and what a change leaves on
// disk around it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "pwlevel.h"
#include "store/field.h"
#include "store/lines.h"
#include "support/pw_fixture.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pwlevel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kRecord = RecordLine("zero", "one", "two", "three");

// Fields in the form the file keeps them.
const std::string kF0 = FieldFor("zero", 0);
const std::string kF1 = FieldFor("one", 1);
const std::string kF2 = FieldFor("two", 2);
const std::string kF3 = FieldFor("three", 3);

std::string Record(const std::string& f0, const std::string& f1,
                   const std::string& f2, const std::string& f3) {
  return "Passwd=:" + f0 + ":" + f1 + ":" + f2 + ":" + f3 + ":\r\n";
}

struct ChangeCase {
  const char* name;
  std::string before;
  int level;
  std::string password;
  int result;
  std::optional<std::string> after;  // nullopt: the file is left as it was
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

class ChangeTest : public PwFileTest,
                   public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeTest, RewritesTheFile) {
  const ChangeCase& c = GetParam();
  WritePw(c.before);
  EXPECT_EQ(Change(c.level, c.password), c.result);
  EXPECT_EQ(PwBytes(), c.after.value_or(c.before));
  // No backup and no temporary file stay behind.
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

const std::string kNew2 = FieldFor("new", 2);

INSTANTIATE_TEST_SUITE_P(
    Files, ChangeTest,
    ::testing::Values(
        ChangeCase{"Level2", kRecord, 2, "new", 0,
                   Record(kF0, kF1, kNew2, kF3)},
        ChangeCase{"Level0", kRecord, 0, "n", 0,
                   Record(FieldFor("n", 0), kF1, kF2, kF3)},
        ChangeCase{"EightCharacters", kRecord, 3, "12345678", 0,
                   Record(kF0, kF1, kF2, FieldFor("12345678", 3))},
        ChangeCase{"CutAtSpace", kRecord, 2, "new tail", 0,
                   Record(kF0, kF1, kNew2, kF3)},
        ChangeCase{"EmptyPassword", kRecord, 1, "", 0,
                   Record(kF0, FieldFor("", 1), kF2, kF3)},
        ChangeCase{"DotKeptWhole", kRecord, 2, "a.b", 0,
                   Record(kF0, kF1, FieldFor("a.b", 2), kF3)},
        // Refusals leave the file alone.
        ChangeCase{"NineCharacters", kRecord, 2, "123456789", -1, {}},
        ChangeCase{"NineWithSpace", kRecord, 2, "1234 6789", -1, {}},
        ChangeCase{"LevelBelow", kRecord, -1, "x", -1, {}},
        ChangeCase{"LevelAbove", kRecord, 4, "x", -1, {}},
        // Other lines keep their text and order; line ends become CR LF.
        ChangeCase{"OtherLinesKept",
                   "; head\nName=x\r\n\r\na\rb\r\n" + kRecord + "tail\n", 2,
                   "new", 0,
                   "; head\r\nName=x\r\n\r\na\rb\r\n" +
                       Record(kF0, kF1, kNew2, kF3) + "tail\r\n"},
        ChangeCase{"LastLineWithoutBreak", kRecord + "last", 2, "new", 0,
                   Record(kF0, kF1, kNew2, kF3) + "last"},
        ChangeCase{"TextBeforeFirstColonDropped",
                   "Passwd=junk:" + kF0 + ":" + kF1 + ":" + kF2 + ":" + kF3 +
                       ":after\r\n",
                   2, "new", 0, Record(kF0, kF1, kNew2, kF3)},
        // The record line's own break is no part of a field, and the line
        // after it stays a line of its own.
        ChangeCase{"RecordWithoutFinalColon",
                   "Passwd=:" + kF0 + ":" + kF1 + ":" + kF2 + ":" + kF3 +
                       "\r\nnext\r\n",
                   2, "new", 0, Record(kF0, kF1, kNew2, kF3) + "next\r\n"},
        ChangeCase{"RecordAsLastLineWithoutBreak",
                   "Passwd=:" + kF0 + ":" + kF1 + ":" + kF2 + ":" + kF3, 3, "x",
                   0, Record(kF0, kF1, kF2, FieldFor("x", 3))},
        // Missing fields are written as the field of the empty text.
        ChangeCase{"FewerThanFourFields", "Passwd=:" + kF0 + "\r\n", 2, "new",
                   0, Record(kF0, " ", kNew2, " ")},
        // A last line "Passwd" without '=' or break is a record line too.
        ChangeCase{"KeyOnly", "; c\r\nPasswd", 0, "k", 0,
                   "; c\r\n" + Record(FieldFor("k", 0), " ", " ", " ")},
        // Fields are kept byte for byte, the encoding's 0x01 included.
        ChangeCase{
            "OtherFieldsByteForByte",
            Record(store::EncodePw("ZZZ"), "\x01\x01", "", kF3), 3, "x", 0,
            Record(store::EncodePw("ZZZ"), "\x01\x01", "", FieldFor("x", 3))},
        ChangeCase{"EveryRecordLine",
                   kRecord + "; c\r\n" + RecordLine("a", "b", "c", "d"), 1,
                   "new", 0,
                   Record(kF0, FieldFor("new", 1), kF2, kF3) + "; c\r\n" +
                       Record(FieldFor("a", 0), FieldFor("new", 1),
                              FieldFor("c", 2), FieldFor("d", 3))},
        // 0x1A ends the file: nothing from it on is carried over.
        ChangeCase{"EndOfFileByte",
                   kRecord + "kept\r\n\x1a"
                             "dropped\r\n",
                   2, "new", 0, Record(kF0, kF1, kNew2, kF3) + "kept\r\n"},
        // No record line: the lines are copied and the answer is -1.
        ChangeCase{"NoRecordLine", "; a\nb\r\n;" + kRecord, 2, "new", -1,
                   "; a\r\nb\r\n;" + kRecord},
        ChangeCase{"EmptyFile", "", 2, "new", -1, ""}),
    CaseName());

class ChangeOnDiskTest : public PwFileTest {};

TEST_F(ChangeOnDiskTest, TheNewPasswordVerifiesAtItsLevel) {
  WritePw(kRecord);
  ASSERT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(Verify("new"), 2);
  EXPECT_EQ(Verify("two"), -1);
  EXPECT_EQ(Verify("three"), 3);
  ASSERT_EQ(Change(1, "three"), 0);
  EXPECT_EQ(Verify("three"), 3);  // the higher level wins
  ASSERT_EQ(Change(0, ""), 0);
  EXPECT_EQ(Verify(""), 0);
  ASSERT_EQ(Change(1, "a.b"), 0);
  EXPECT_EQ(Verify("a"), 1);
  EXPECT_EQ(Verify("a.b"), -1);
}

TEST_F(ChangeOnDiskTest, CutsTheCallersBufferAndRefusesNull) {
  WritePw(kRecord);
  char typed[] = "new tail";
  EXPECT_EQ(ChangePw(2, typed), 0);
  EXPECT_STREQ(typed, "new");
  EXPECT_EQ(ChangePw(2, nullptr), -1);
  EXPECT_EQ(Verify("new"), 2);
}

TEST_F(ChangeOnDiskTest, WithoutAFileFailsAndWritesNothing) {
  EXPECT_EQ(Change(2, "new"), -2);
  EXPECT_EQ(Entries(), std::set<std::string>{});
  os_.SetEnv("PASSWD", "");
  EXPECT_EQ(Change(2, "new"), -2);
}

TEST_F(ChangeOnDiskTest, RemovesAStaleBackupEvenReadOnly) {
  WritePw(kRecord);
  WriteBytes(backup_path(), "stale\r\n");
  fs::permissions(backup_path(), fs::perms::owner_read);
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
  EXPECT_EQ(Verify("new"), 2);
}

TEST_F(ChangeOnDiskTest, PutsALoneBackupBackBeforeChanging) {
  // An earlier change stopped after moving the file to its backup name.
  WriteBytes(backup_path(), "; head\r\n" + kRecord + "tail\r\n");
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(PwBytes(),
            "; head\r\n" + Record(kF0, kF1, kNew2, kF3) + "tail\r\n");
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

TEST_F(ChangeOnDiskTest, RemovesLeftoversOfKilledChangesOnly) {
  // A change killed while writing its new file leaves the backup alone, and
  // its temporary file beside it.
  WriteBytes(backup_path(), kRecord);
  const std::string stale = pw_path() + ".new-0123456789abcdef";
  const std::string live = pw_path() + ".new-fedcba9876543210";
  const std::string other = pw_path() + ".new-notours";
  for (const std::string& path : {stale, live, other}) {
    WriteBytes(path, "x");
  }
  store::File held;  // a change still writing holds its file open
  ASSERT_TRUE(store::File::OpenRead(live, held).ok());
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(Entries(),
            (std::set<std::string>{"pw.txt", "pw.txt.new-fedcba9876543210",
                                   "pw.txt.new-notours"}));
}

TEST_F(ChangeOnDiskTest, LeavesFilesOutsideItsDirectoryAlone) {
  // The backup of "app.d/pw" is "app.d/pw.bak", not "app.bak" beside app.d.
  fs::create_directory(dir() / "app.d");
  const std::string path = (dir() / "app.d" / "pw").string();
  WriteBytes(path, kRecord);
  WriteBytes(dir() / "app.bak", "unrelated\r\n");
  os_.SetEnv("PASSWD", path);
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(ReadBytes(dir() / "app.bak"), "unrelated\r\n");
  EXPECT_EQ(ReadBytes(path), Record(kF0, kF1, kNew2, kF3));
  EXPECT_EQ(ReadBytes(dir() / "app.d" / "pw.bak"), "<absent>");
}

TEST_F(ChangeOnDiskTest, ARefusalLeavesTheSameFile) {
  WritePw(kRecord);
  const auto before = fs::last_write_time(pw_path());
#if !defined(_WIN32)
  struct stat info {};
  ASSERT_EQ(::stat(pw_path().c_str(), &info), 0);
#endif
  EXPECT_EQ(Change(2, "123456789"), -1);
  EXPECT_EQ(Change(7, "x"), -1);
  EXPECT_EQ(fs::last_write_time(pw_path()), before);
#if !defined(_WIN32)
  struct stat after {};
  ASSERT_EQ(::stat(pw_path().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, info.st_ino);
#endif
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

#if !defined(_WIN32)
struct ModeCase {
  const char* name;
  mode_t before;
  mode_t after;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class PermissionTest : public PwFileTest,
                       public ::testing::WithParamInterface<ModeCase> {};

TEST_P(PermissionTest, KeepsTheOldRightsPlusOwnerWrite) {
  WritePw(kRecord);
  ASSERT_EQ(::chmod(pw_path().c_str(), GetParam().before), 0);
  ASSERT_EQ(Change(2, "new"), 0);
  struct stat info {};
  ASSERT_EQ(::stat(pw_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, GetParam().after);
  EXPECT_EQ(Verify("new"), 2);
}

TEST_F(ChangeOnDiskTest, KeepsOwnerAndGroupWhereItMaySetThem) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only root may give a file to another owner";
  }
  WritePw(kRecord);
  ASSERT_EQ(::chown(pw_path().c_str(), 4321, 4322), 0);
  ASSERT_EQ(::chmod(pw_path().c_str(), 0640), 0);
  ASSERT_EQ(Change(2, "new"), 0);
  struct stat info {};
  ASSERT_EQ(::stat(pw_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321U);
  EXPECT_EQ(info.st_gid, 4322U);
  EXPECT_EQ(info.st_mode & 07777, 0640U);
}

INSTANTIATE_TEST_SUITE_P(Modes, PermissionTest,
                         ::testing::Values(ModeCase{"OwnerOnly", 0600, 0600},
                                           ModeCase{"GroupRead", 0640, 0640},
                                           ModeCase{"WorldRead", 0644, 0644},
                                           ModeCase{"ReadOnly", 0400, 0600},
                                           ModeCase{"ReadOnlyAll", 0444, 0644}),
                         CaseName());
#endif

}  // namespace
}  // namespace pwlevel::testing
