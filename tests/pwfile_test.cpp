// The password file's rules: its path, its lines, its record line and its
// backup name.
#include "store/pwfile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "store/lines.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

using namespace std::string_literals;

struct RecordCase {
  std::string line;
  bool is_record;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << Printable(c.line);
}

class RecordLineTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordLineTest, TellsTheRecordLine) {
  EXPECT_EQ(store::IsPwRecord(GetParam().line), GetParam().is_record)
      << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordLineTest,
    ::testing::Values(RecordCase{"Passwd=:A:B:C:D:\n", true},
                      RecordCase{"Passwd=", true},
                      RecordCase{"Passwd=junk:A:B:C:D:", true},
                      RecordCase{"Passwd", true},  // no '=': the whole line
                      RecordCase{"Passwd\n", false},
                      RecordCase{"Passwd =:A:B:C:D:", false},
                      RecordCase{" Passwd=:A:B:C:D:", false},
                      RecordCase{"passwd=:A:B:C:D:", false},
                      RecordCase{"PASSWD=:A:B:C:D:", false},
                      RecordCase{"Passwd2=:A:B:C:D:", false},
                      RecordCase{";Passwd=:A:B:C:D:", false},
                      RecordCase{"", false}, RecordCase{"\n", false}));

// One pass over the line finds the same fields as PwField does level by
// level, also in lines that lack fields or carry text after the last one.
TEST(PwFieldsTest, FindsTheFieldsPwFieldFinds) {
  for (const std::string& record :
       {"Passwd=:A:B:C:D:\n"s, "Passwd=junk:A::C:D:tail:more"s,
        "Passwd=:A:B\n"s, "Passwd=:"s, "Passwd="s, "Passwd=:\x01:B:C:D"s,
        ":::::"s, ""s}) {
    const auto fields = store::PwFields(record);
    for (int level = 0; level < store::kLevels; ++level) {
      EXPECT_EQ(fields[static_cast<std::size_t>(level)],
                store::PwField(record, level))
          << "level " << level << " of \"" << record << '"';
    }
  }
}

struct BackupCase {
  std::string path;
  std::optional<std::string> backup;
};

void PrintTo(const BackupCase& c, std::ostream* os) {
  *os << Printable(c.path);
}

class BackupNameTest : public ::testing::TestWithParam<BackupCase> {};

TEST_P(BackupNameTest, CutsTheFileNameAtItsFirstDot) {
  EXPECT_EQ(store::BackupName(GetParam().path), GetParam().backup);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupNameTest,
    ::testing::Values(BackupCase{"C:\\TOOLS\\PASSWD", "C:\\TOOLS\\PASSWD.bak"s},
                      BackupCase{"/TOOLS/PASSWD", "/TOOLS/PASSWD.bak"s},
                      BackupCase{"/etc/pw.v1.txt", "/etc/pw.bak"s},
                      BackupCase{"pw.txt", "pw.bak"s},
                      // A '.' in a directory name stays in its directory.
                      BackupCase{"/srv/app.d/pw", "/srv/app.d/pw.bak"s},
                      BackupCase{"./pw", "./pw.bak"s},
                      BackupCase{"..\\dir.x\\pw.txt", "..\\dir.x\\pw.bak"s},
                      BackupCase{".hidden", ".bak"s},
                      // No file name, no backup.
                      BackupCase{"", std::nullopt},
                      BackupCase{"/srv/", std::nullopt},
                      BackupCase{"C:\\TOOLS\\", std::nullopt}));

class LocateTest : public PwFileTest {};

TEST_F(LocateTest, UsesPasswdAsItStands) {
  os_.SetEnv("PASSWD", "/no/such/dir/x");
  EXPECT_EQ(store::LocatePwFile(), "/no/such/dir/x");
  os_.SetEnv("PASSWD", "");
  EXPECT_EQ(store::LocatePwFile(), "");
}

TEST_F(LocateTest, FallsBackToTheDefaultPath) {
  os_.UnsetEnv("PASSWD");
  EXPECT_EQ(store::LocatePwFile(), store::DefaultPwPath());
#if !defined(_WIN32)
  EXPECT_EQ(store::DefaultPwPath(), "/TOOLS/PASSWD");
#endif
}

TEST(DefaultPathTest, DrivePathsBecomeNative) {
  platform::Platform& os = platform::NativePlatform();
#if defined(_WIN32)
  EXPECT_EQ(os.DefaultPathToNative("C:\\TOOLS\\PASSWD"), "C:\\TOOLS\\PASSWD");
#else
  EXPECT_EQ(os.DefaultPathToNative("C:\\TOOLS\\PASSWD"), "/TOOLS/PASSWD");
  EXPECT_EQ(os.DefaultPathToNative("d:\\a\\b.txt"), "/a/b.txt");
  EXPECT_EQ(os.DefaultPathToNative("/etc/pw"), "/etc/pw");
#endif
}

TEST(DefaultRecordTest, HoldsTheDefaultPasswordsInWrittenForm) {
  const std::string record = store::DefaultPwRecord();
  EXPECT_TRUE(store::IsPwRecord(record));
  EXPECT_EQ(record.rfind("Passwd=:", 0), 0U);
  EXPECT_EQ(record.back(), ':');
  EXPECT_EQ(record.find('\n'), std::string::npos);
  EXPECT_EQ(record, RecordLine("guest", "operator", "service", "admin")
                        .substr(0, record.size()));
}

// Reads every line of `bytes` as the password file.
class LineReaderTest : public PwFileTest {
 protected:
  std::vector<std::string> LinesOf(const std::string& bytes) {
    WritePw(bytes);
    store::File file;
    EXPECT_TRUE(store::File::OpenRead(pw_path(), file).ok());
    store::LineReader reader(file);
    std::vector<std::string> lines;
    std::string line;
    while (reader.Next(line) == store::LineReader::Outcome::line) {
      lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(LineReaderTest, ReadsTextMode) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(LinesOf("a\r\nb\r\n"), (Lines{"a\n", "b\n"}));
  EXPECT_EQ(LinesOf("a\nb\r\nc"), (Lines{"a\n", "b\n", "c"}));
  EXPECT_EQ(LinesOf("a\rb\r\r\n"), (Lines{"a\rb\r\n"}));
  EXPECT_EQ(LinesOf("a\r"), (Lines{"a\r"}));
  EXPECT_EQ(LinesOf("a\r\nb\x1a\r\nc\r\n"), (Lines{"a\n", "b"}));
  EXPECT_EQ(LinesOf("\x1a"
                    "a\r\n"),
            Lines{});
  EXPECT_EQ(LinesOf(""), Lines{});
  EXPECT_EQ(LinesOf("\r\n\r\n"), (Lines{"\n", "\n"}));
}

TEST_F(LineReaderTest, ReadsLongLinesWholeAcrossReads) {
  // Lines far longer than one read, with CR LF pairs split between reads.
  std::string bytes;
  std::vector<std::string> expected;
  for (std::size_t length : {8191U, 8190U, 20000U, 255U, 256U}) {
    const std::string body(length, 'x');
    bytes += body + "\r\n";
    expected.push_back(body + "\n");
  }
  // A lone CR that ends one read, then a CR LF pair at the start of the next.
  const std::size_t to_read_end = 8192 - bytes.size() % 8192;
  bytes += std::string(to_read_end - 1, 'y') + "\r\r\n";
  expected.push_back(std::string(to_read_end - 1, 'y') + "\r\n");
  EXPECT_EQ(LinesOf(bytes), expected);
}

TEST_F(LineReaderTest, TellsAFailedReadFromTheEnd) {
  WritePw("a\r\nb\r\n");
  store::File file;
  ASSERT_TRUE(store::File::OpenRead(pw_path(), file).ok());
  store::LineReader reader(file);
  os_.FailAt(Step::read, 1);
  std::string line;
  EXPECT_EQ(reader.Next(line), store::LineReader::Outcome::failed);
}

TEST_F(LineReaderTest, WritesLineBreaksAsCrLf) {
  store::File file;
  ASSERT_TRUE(store::File::CreateNew(pw_path(), file).ok());
  {
    store::LineWriter writer(file);
    ASSERT_TRUE(writer.Put("a\n").ok());
    ASSERT_TRUE(writer.Put("b\rc\n\nlast").ok());
    ASSERT_TRUE(writer.Put(std::string(20000, 'y') + "\n").ok());
    ASSERT_TRUE(writer.Flush().ok());
  }
  ASSERT_TRUE(file.Close().ok());
  EXPECT_EQ(PwBytes(),
            "a\r\nb\rc\r\n\r\nlast" + std::string(20000, 'y') + "\r\n");
}

TEST_F(LineReaderTest, WritesReadLinesAsCrLf) {
  store::File file;
  ASSERT_TRUE(store::File::CreateNew(pw_path(), file).ok());
  {
    // Lines as the reader gives them; the long ones cross the buffer's end,
    // one of them right between the CR and the LF.
    store::LineWriter writer(file);
    ASSERT_TRUE(writer.PutLine("a\n").ok());
    ASSERT_TRUE(writer.PutLine("\n").ok());
    ASSERT_TRUE(writer.PutLine("b\rc\n").ok());
    ASSERT_TRUE(writer.PutLine(std::string(8185, 'x') + "\n").ok());
    ASSERT_TRUE(writer.PutLine(std::string(20000, 'y') + "\n").ok());
    ASSERT_TRUE(writer.PutLine("last").ok());
    ASSERT_TRUE(writer.Flush().ok());
  }
  ASSERT_TRUE(file.Close().ok());
  EXPECT_EQ(PwBytes(), "a\r\n\r\nb\rc\r\n" + std::string(8185, 'x') + "\r\n" +
                           std::string(20000, 'y') + "\r\nlast");
}

}  // namespace
}  // namespace pwlevel::testing
