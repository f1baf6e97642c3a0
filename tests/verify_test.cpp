// Verification, end to end, on password files the tests write.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pwlevel.h"
#include "store/field.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

const std::string kRecord = RecordLine("zero", "one", "two", "three");
// The four fields of kRecord with the colons between them: "A:B:C:D".
const std::string kFields = kRecord.substr(8, kRecord.size() - 11);

struct VerifyCase {
  const char* name;
  std::string file;
  std::string password;
  int level;
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }

class VerifyTest : public PwFileTest,
                   public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyTest, AnswersTheLevel) {
  WritePw(GetParam().file);
  EXPECT_EQ(Verify(GetParam().password), GetParam().level);
  EXPECT_EQ(PwBytes(), GetParam().file);
}

std::string Lf(std::string crlf) {
  for (std::size_t at = crlf.find("\r\n"); at != std::string::npos;
       at = crlf.find("\r\n", at)) {
    crlf.erase(at, 1);
  }
  return crlf;
}

const std::string kLongPassword(40, 'L');

INSTANTIATE_TEST_SUITE_P(
    Files, VerifyTest,
    ::testing::Values(
        VerifyCase{"Level3", kRecord, "three", 3},
        VerifyCase{"Level2", kRecord, "two", 2},
        VerifyCase{"Level1", kRecord, "one", 1},
        VerifyCase{"Level0", kRecord, "zero", 0},
        VerifyCase{"Unknown", kRecord, "four", -1},
        VerifyCase{"CaseMatters", kRecord, "Two", -1},
        VerifyCase{"PrefixIsNotEnough", kRecord, "tw", -1},
        VerifyCase{"LongerIsNotEnough", kRecord, "twos", -1},
        VerifyCase{"EmptyOpensNothing", kRecord, "", -1},
        VerifyCase{"CutAtFirstSpace", kRecord, "two and more", 2},
        VerifyCase{"LeadingSpaceIsEmpty", kRecord, " two", -1},
        VerifyCase{"LfLineEnds", Lf("; c\r\n" + kRecord), "one", 1},
        VerifyCase{"NoFinalLineBreak", kRecord.substr(0, kRecord.size() - 2),
                   "three", 3},
        VerifyCase{"OtherLinesFirst",
                   "; comment\r\nName=x\r\n\r\npasswd=" + kFields +
                       "\r\nPasswd =" + kFields + "\r\n" + kRecord,
                   "two", 2},
        VerifyCase{"FirstRecordWins", kRecord + RecordLine("a", "b", "c", "d"),
                   "c", -1},
        VerifyCase{"HighestLevelWins", RecordLine("same", "x", "same", "y"),
                   "same", 2},
        VerifyCase{"DigitIsNotTheLevel",
                   "Passwd=:" + FieldFor("pw", 3) + ":\r\n", "pw", 0},
        VerifyCase{"StoredEmptyPassword", RecordLine("", "a", "b", "c"), "", 0},
        VerifyCase{"EmptyFieldOpensToEmpty",
                   "Passwd=:" + FieldFor("a", 0) + "::" + FieldFor("c", 2) +
                       ":" + FieldFor("d", 3) + ":\r\n",
                   "", 1},
        VerifyCase{"SpaceFieldIsSkipped", "Passwd=: :a:b:c:\r\n", "", -1},
        VerifyCase{"LineBreakAfterLastColon",
                   "Passwd=:" + FieldFor("a", 0) + ":\r\n", "", 1},
        VerifyCase{"KeyAndColonOnly", "Passwd=:\r\n", "", 0},
        VerifyCase{"NoFinalColon",
                   kRecord.substr(0, kRecord.size() - 3) + "\r\n", "three", 3},
        VerifyCase{"DotInPassword", RecordLine("a.b", "x", "y", "z"), "a", 0},
        VerifyCase{"DotInPasswordWhole", RecordLine("a.b", "x", "y", "z"),
                   "a.b", -1},
        VerifyCase{"NoDotComparedWhole",
                   "Passwd=:" + store::EncodePw("plain") + ":\r\n", "plain", 0},
        VerifyCase{
            "FewerThanFourFields",
            "Passwd=:" + FieldFor("a", 0) + ":" + FieldFor("b", 1) + "\r\n",
            "b", 1},
        VerifyCase{"TextAfterFifthColon",
                   kRecord.substr(0, kRecord.size() - 2) + "tail:more\r\n",
                   "three", 3},
        VerifyCase{"TextBeforeFirstColon", "Passwd=junk:" + kFields + "\r\n",
                   "zero", 0},
        VerifyCase{"LoneCrInOtherLine", "a\rb\r\n" + kRecord, "one", 1},
        // Fields written by hand may be longer than any the library writes.
        VerifyCase{"LongField",
                   "Passwd=:" + FieldFor(kLongPassword, 0) + ":\r\n",
                   kLongPassword, 0},
        // A field cut short (a group's characters missing) matches nothing.
        VerifyCase{"ShortFieldMatchesNothing",
                   "Passwd=:" + FieldFor("abcdef", 0).substr(0, 6) + ":\r\n",
                   "abcdef", -1},
        // The file opens but holds no record line: nothing opens, level 0
        // least of all.
        VerifyCase{"EmptyFile", "", "", -1},
        VerifyCase{"EmptyFileAnyPassword", "", "guest", -1},
        VerifyCase{"OnlyComments", "; a\r\n;" + kRecord, "one", -1},
        VerifyCase{"EndOfFileByteBeforeRecord", "x\r\n\x1a" + kRecord, "one",
                   -1},
        // A line longer than any working buffer is one line: the record-like
        // tail of a long comment is not a record line.
        VerifyCase{"LongCommentLine", ";" + std::string(254, 'x') + kRecord,
                   "one", -1},
        VerifyCase{"RecordAfterLongLine",
                   std::string(10000, 'x') + "\r\n" + kRecord, "one", 1}),
    CaseName());

class NoPwFileTest : public PwFileTest {};

TEST_F(NoPwFileTest, ServesWhenThereIsNoFile) {
  EXPECT_EQ(Verify("guest"), 0);
  EXPECT_EQ(Verify("operator"), 1);
  EXPECT_EQ(Verify("service"), 2);
  EXPECT_EQ(Verify("admin"), 3);
  EXPECT_EQ(Verify("admin extra"), 3);
  EXPECT_EQ(Verify("Admin"), -1);
  EXPECT_EQ(Verify(""), -1);
  EXPECT_EQ(Entries(), std::set<std::string>{});
}

TEST_F(NoPwFileTest, ServesForAnEmptyPath) {
  os_.SetEnv("PASSWD", "");
  EXPECT_EQ(Verify("admin"), 3);
}

TEST_F(NoPwFileTest, ServesWhenTheDirectoryIsMissing) {
  os_.SetEnv("PASSWD", (dir() / "none" / "pw.txt").string());
  EXPECT_EQ(Verify("service"), 2);
}

TEST_F(NoPwFileTest, TheBackupServesWhileThereIsNoFile) {
  WriteBytes(backup_path(), kRecord);
  EXPECT_EQ(Verify("two"), 2);
  EXPECT_EQ(Verify("admin"), -1);
}

TEST_F(NoPwFileTest, LooksForTheFileOnceMoreBeforeTheDefault) {
  // The first look misses the file, as it would while a change puts the new
  // file in place; the backup is gone by the second look.
  WritePw(kRecord);
  os_.FailAt(Step::open_read, 1, {platform::Error::not_found, 2});
  EXPECT_EQ(Verify("admin"), -1);
  os_.FailAt(Step::open_read, 1, {platform::Error::not_found, 2});
  EXPECT_EQ(Verify("three"), 3);
}

struct OpenFailureCase {
  const char* name;
  platform::Error error;
  int times;  // consecutive failed opens
  int level;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) { *os << c.name; }

class OpenFailureTest : public PwFileTest,
                        public ::testing::WithParamInterface<OpenFailureCase> {
};

TEST_P(OpenFailureTest, RefusesRatherThanUseTheDefault) {
  WritePw(kRecord);
  os_.FailAt(Step::open_read, 1, {GetParam().error, 0}, GetParam().times);
  const int expected = GetParam().level;
  EXPECT_EQ(Verify("three"), expected);
  EXPECT_EQ(Verify("admin"), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"AccessDenied", platform::Error::access_denied, 1000,
                        -1},
        OpenFailureCase{"IoError", platform::Error::failed, 1, -1},
        // A change holds the file for an instant: a short wait is enough.
        OpenFailureCase{"BriefSharingViolation", platform::Error::access_denied,
                        3, 3}),
    CaseName());

TEST_F(PwFileTest, AFailedReadRefuses) {
  WritePw(kRecord);
  os_.FailAt(Step::read, 1);
  EXPECT_EQ(Verify("three"), -1);
}

TEST_F(PwFileTest, ADirectoryInPlaceOfTheFileRefuses) {
  std::filesystem::create_directory(pw_path());
  EXPECT_EQ(Verify("admin"), -1);
}

TEST_F(PwFileTest, CutsTheCallersBufferAtItsFirstSpace) {
  WritePw(kRecord);
  char typed[] = "two words";
  EXPECT_EQ(VerifyPw(typed), 2);
  EXPECT_STREQ(typed, "two");
  EXPECT_EQ(VerifyPw(nullptr), -1);
}

}  // namespace
}  // namespace pwlevel::testing
