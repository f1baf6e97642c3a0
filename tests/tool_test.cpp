// The pwlevel tool, run as an administrator would run it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "store/pwfile.h"
#include "support/pw_fixture.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#endif

namespace pwlevel::testing {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string output;  // standard output and standard error
};

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

ToolRun RunTool(const std::string& passwd, const std::string& args,
                const std::string& input) {
  const std::string command = "printf '%s\\n' " + Quoted(input) +
                              " | PASSWD=" + Quoted(passwd) + " " +
                              PWLEVEL_TOOL_FILE + " " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ToolRun run{-1, ""};
  if (pipe == nullptr) {
    return run;
  }
  char buffer[512];
  for (std::size_t n = 0;
       (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    run.output.append(buffer, n);
  }
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

const std::string kRecord = RecordLine("zero", "one", "two", "three");

struct ToolCase {
  const char* name;
  std::string file;    // "<absent>": no password file
  std::string backup;  // "<absent>": no backup
  std::string args;
  std::string input;
  int status;
  std::string says;  // a text the output holds
};

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }

class ToolTest : public PwFileTest,
                 public ::testing::WithParamInterface<ToolCase> {};

TEST_P(ToolTest, AnswersAndExits) {
  const ToolCase& c = GetParam();
  if (c.file != "<absent>") {
    WritePw(c.file);
  }
  if (c.backup != "<absent>") {
    WriteBytes(backup_path(), c.backup);
  }
  const ToolRun run = RunTool(pw_path(), c.args, c.input);
  EXPECT_EQ(run.status, c.status) << run.output;
  EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
}

const std::string kAbsent = "<absent>";

INSTANTIATE_TEST_SUITE_P(
    Runs, ToolTest,
    ::testing::Values(
        ToolCase{"Help", kAbsent, kAbsent, "--help", "", 0, "pwlevel check"},
        ToolCase{"Version", kAbsent, kAbsent, "--version", "", 0,
                 "pwlevel " PWLEVEL_VERSION_TEXT},
        ToolCase{"BadCommand", kAbsent, kAbsent, "frob", "", 2,
                 "usage: pwlevel"},
        ToolCase{"MissingLevel", kAbsent, kAbsent, "change", "", 2,
                 "usage: pwlevel"},
        ToolCase{"VerifyDefault", kAbsent, kAbsent, "verify", "admin", 0,
                 "level 3"},
        ToolCase{"VerifyFile", kRecord, kAbsent, "verify", "two more", 0,
                 "level 2"},
        ToolCase{"VerifyNone", kRecord, kAbsent, "verify", "admin", 1,
                 "no level"},
        ToolCase{"CheckNoFile", kAbsent, kAbsent, "check", "", 0,
                 "default passwords are in force"},
        ToolCase{"CheckGood", "; c\r\n" + kRecord, kAbsent, "check", "", 0,
                 "record line: line 2"},
        ToolCase{"CheckNoRecord", "; only a comment\r\n", kAbsent, "check", "",
                 1, "no record line"},
        ToolCase{"CheckMissingField", "Passwd=:" + FieldFor("a", 0) + ":\r\n",
                 kAbsent, "check", "", 1, "level 3: no password field"},
        ToolCase{"CheckLoneBackup", kAbsent, kRecord, "check", "", 1,
                 "an earlier change did not finish"},
        ToolCase{"CheckStaleBackup", kRecord, kRecord, "check", "", 0,
                 "the next change deletes it"},
        ToolCase{"ChangeLevelOutOfRange", kRecord, kAbsent, "change 4", "x", 1,
                 "level must be 0, 1, 2 or 3"},
        ToolCase{"ChangeTooLong", kRecord, kAbsent, "change 1", "123456789", 1,
                 "at most 8 characters"},
        ToolCase{"ChangeNoRecord", "; c\r\n", kAbsent, "change 1", "x", 1,
                 "has no record line"},
        ToolCase{"ChangeNoFile", kAbsent, kAbsent, "change 1", "x", 1,
                 "could not rewrite"},
        ToolCase{"ChangeGood", kRecord, kAbsent, "change 1", "new", 0,
                 "level 1: password changed"}),
    CaseName());

class ToolFileTest : public PwFileTest {};

TEST_F(ToolFileTest, ChangeStoresAPasswordThatVerifies) {
  WritePw(kRecord);
  ASSERT_EQ(RunTool(pw_path(), "change 2", "fresh").status, 0);
  EXPECT_EQ(Verify("fresh"), 2);
  EXPECT_EQ(RunTool(pw_path(), "verify", "fresh").output, "level 2\n");
  const ToolRun failed =
      RunTool((dir() / "none" / "pw").string(), "change 2", "x");
  EXPECT_NE(failed.output.find("No such file or directory"), std::string::npos)
      << failed.output;
}

TEST_F(ToolFileTest, InitWritesTheDefaultsOwnerOnlyAndNeverOverwrites) {
  ASSERT_EQ(RunTool(pw_path(), "init", "").status, 0);
  const std::string written = PwBytes();
  EXPECT_EQ(written.substr(written.find("Passwd")),
            store::DefaultPwRecord() + "\r\n");
  EXPECT_EQ(written.front(), ';');
  EXPECT_EQ(Verify("admin"), 3);
  EXPECT_EQ(Verify("guest"), 0);
#if !defined(_WIN32)
  struct stat info {};
  ASSERT_EQ(::stat(pw_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600U);
#endif
  WritePw(kRecord);
  const ToolRun again = RunTool(pw_path(), "init", "");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("exists already"), std::string::npos);
  EXPECT_EQ(PwBytes(), kRecord);
}

}  // namespace
}  // namespace pwlevel::testing
