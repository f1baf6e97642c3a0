// What only Windows itself shows: files held open by another program,
// read-only attributes, and pwlevel.dll loaded by a host program that gets an
// environment of its own.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "store/lines.h"
#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

namespace fs = std::filesystem;

const std::string kRecord = RecordLine("zero", "one", "two", "three");

bool IsReadOnly(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void MakeReadOnly(const std::string& path) {
  ASSERT_NE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY), 0)
      << path;
  ASSERT_TRUE(IsReadOnly(path)) << path;
}

// A handle on a file held by some other program, with the sharing it allows.
class Holder {
 public:
  Holder(const std::string& path, DWORD share, DWORD access = GENERIC_READ)
      : handle_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  ~Holder() { Release(); }

  [[nodiscard]] bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (is_open()) {
      CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
    }
  }

 private:
  HANDLE handle_;
};

struct HeldCase {
  const char* name;
  bool backup_held;  // the stale backup is held, rather than the file
  DWORD share;
  int verify_two;  // what verifying "two" answers meanwhile
};

void PrintTo(const HeldCase& c, std::ostream* os) { *os << c.name; }

class HeldFileTest : public PwFileTest,
                     public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldFileTest, AChangeFailsAndLeavesTheFileUntouched) {
  const HeldCase& c = GetParam();
  WritePw(kRecord);
  std::set<std::string> entries{"pw.txt"};
  if (c.backup_held) {
    WriteBytes(backup_path(), "stale\r\n");
    entries.insert("pw.bak");
  }
  Holder holder(c.backup_held ? backup_path() : pw_path(), c.share);
  ASSERT_TRUE(holder.is_open());

  EXPECT_EQ(Change(2, "new"), -2);
  EXPECT_EQ(Entries(), entries);
  // Never the default passwords, whoever holds the file.
  EXPECT_EQ(Verify("two"), c.verify_two);
  EXPECT_EQ(Verify("service"), -1);

  holder.Release();
  EXPECT_EQ(PwBytes(), kRecord);
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(Verify("new"), 2);
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Holders, HeldFileTest,
    ::testing::Values(
        // Shared as the library itself shares: reading goes on, the rename
        // to the backup name is refused.
        HeldCase{"FileSharedForReadAndWrite", false,
                 FILE_SHARE_READ | FILE_SHARE_WRITE, 2},
        // Shared with nobody: not even a verification can read it.
        HeldCase{"FileSharedWithNobody", false, 0, -1},
        // A stale backup that can't be deleted stops the change before
        // anything moves.
        HeldCase{"StaleBackup", true, FILE_SHARE_READ | FILE_SHARE_WRITE, 2}),
    CaseName());

// The backend itself: each native refusal comes out as the kind of failure
// the library acts on.
class BackendTest : public PwFileTest {
 protected:
  platform::Platform& os_native_ = platform::NativePlatform();
};

TEST_F(BackendTest, TellsTheKindsOfFailure) {
  using platform::Error;
  platform::FileHandle file = platform::kNoFile;
  const std::string missing_folder = (dir() / "none" / "pw.txt").string();
  EXPECT_EQ(os_native_.OpenRead(pw_path(), file).error, Error::not_found);
  EXPECT_EQ(os_native_.OpenRead(missing_folder, file).error, Error::not_found);
  EXPECT_EQ(os_native_.Rename(pw_path(), backup_path()).error,
            Error::not_found);
  EXPECT_EQ(os_native_.Remove(pw_path()).error, Error::not_found);

  WritePw(kRecord);
  WriteBytes(backup_path(), "x");
  EXPECT_EQ(os_native_.CreateNew(pw_path(), file).error, Error::already_exists);
  EXPECT_EQ(os_native_.Rename(pw_path(), backup_path()).error,
            Error::already_exists);
  {
    Holder exclusive(pw_path(), 0);
    ASSERT_TRUE(exclusive.is_open());
    EXPECT_EQ(os_native_.OpenRead(pw_path(), file).error, Error::access_denied);
  }
  {
    store::File held;  // the library's own open
    ASSERT_TRUE(store::File::OpenRead(pw_path(), held).ok());
    EXPECT_EQ(os_native_.Remove(pw_path()).error, Error::access_denied);
    EXPECT_EQ(os_native_.Rename(pw_path(), (dir() / "moved").string()).error,
              Error::access_denied);
    // ... which others may still read and write.
    const Holder writer(pw_path(), FILE_SHARE_READ | FILE_SHARE_WRITE,
                        GENERIC_READ | GENERIC_WRITE);
    EXPECT_TRUE(writer.is_open());
  }

  MakeReadOnly(backup_path());
  EXPECT_EQ(os_native_.Remove(backup_path()).error, Error::access_denied);
  EXPECT_TRUE(os_native_.ClearReadOnly(backup_path()).ok());
  EXPECT_FALSE(IsReadOnly(backup_path()));
  EXPECT_TRUE(os_native_.Remove(backup_path()).ok());
  EXPECT_EQ(os_native_.Probe(backup_path()).error, Error::not_found);
}

class ReadOnlyTest : public PwFileTest {};

TEST_F(ReadOnlyTest, AReadOnlyStaleBackupIsRemoved) {
  WritePw(kRecord);
  WriteBytes(backup_path(), "stale\r\n");
  MakeReadOnly(backup_path());
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
  EXPECT_EQ(Verify("new"), 2);
}

TEST_F(ReadOnlyTest, AReadOnlyFileIsChangedAndTheNewOneIsWritable) {
  WritePw(kRecord);
  MakeReadOnly(pw_path());
  EXPECT_EQ(Change(2, "new"), 0);
  EXPECT_EQ(PwBytes(), RecordLine("zero", "one", "new", "three"));
  EXPECT_FALSE(IsReadOnly(pw_path()));
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

std::string ProgramFolder() {
  std::array<char, MAX_PATH> path{};
  const DWORD length =
      GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::string program(path.data(), length);
  return program.substr(0, program.find_last_of("\\/"));
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && _strnicmp(a.data(), b.data(), a.size()) == 0;
}

// This process's environment less any PASSWD, whatever its case, plus
// `extra` ("NAME=value" each).
std::vector<std::string> EnvironmentWith(
    const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; entry != nullptr && *entry != '\0';
       entry += std::strlen(entry) + 1) {
    const std::string_view text(entry);
    if (!SameNameIgnoringCase(text.substr(0, text.find('=', 1)), "PASSWD")) {
      entries.emplace_back(text);
    }
  }
  FreeEnvironmentStringsA(block);
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

constexpr int kHostDidNotRun = 1000;

// Runs the host program with exactly `environment`; answers its exit code.
int RunHost(const std::vector<std::string>& environment,
            const std::vector<std::string>& args) {
  std::string command = "\"" + ProgramFolder() + "\\pwlevel_win32_host.exe\"";
  for (const std::string& arg : args) {
    command += " \"" + arg + "\"";
  }
  std::vector<char> command_line(command.begin(), command.end());
  command_line.push_back('\0');
  std::string block;
  for (const std::string& entry : environment) {
    block += entry;
    block += '\0';
  }
  block += '\0';

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0,
                     block.data(), nullptr, &startup, &process) == 0) {
    ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
    return kHostDidNotRun;
  }
  DWORD code = kHostDidNotRun;
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0 ||
      GetExitCodeProcess(process.hProcess, &code) == 0) {
    ADD_FAILURE() << command << " did not finish";
    TerminateProcess(process.hProcess, kHostDidNotRun);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<std::int32_t>(code);
}

class HostTest : public PwFileTest {
 protected:
  std::vector<std::string> WithPasswd() const {
    return EnvironmentWith({"PASSWD=" + pw_path()});
  }
};

TEST_F(HostTest, LoadsTheDllAndCallsBothFunctions) {
  WritePw(kRecord);
  EXPECT_EQ(RunHost(WithPasswd(), {"verify", "two words"}), 2);
  EXPECT_EQ(RunHost(WithPasswd(), {"verify", "nothing"}), -1);
  EXPECT_EQ(RunHost(WithPasswd(), {"change", "3", "new"}), 0);
  EXPECT_EQ(RunHost(WithPasswd(), {"change", "4", "new"}), -1);
  EXPECT_EQ(RunHost(WithPasswd(), {"verify", "new"}), 3);
  EXPECT_EQ(PwBytes(), RecordLine("zero", "one", "two", "new"));
  EXPECT_EQ(Entries(), std::set<std::string>{"pw.txt"});
}

// The export table of pwlevel.dll, as the loader mapped it.
std::set<std::string> ExportedNames(HMODULE library, DWORD& functions) {
  const auto* base = reinterpret_cast<const unsigned char*>(library);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + static_cast<std::ptrdiff_t>(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
      base + directory.VirtualAddress);
  const auto* names =
      reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> found;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    found.insert(reinterpret_cast<const char*>(base + names[i]));
  }
  functions = exports->NumberOfFunctions;
  return found;
}

TEST_F(HostTest, TheDllExportsExactlyTheTwoFunctionsByName) {
  const std::string path = ProgramFolder() + "\\pwlevel.dll";
  const HMODULE library = LoadLibraryA(path.c_str());
  ASSERT_NE(library, nullptr) << path << ": " << GetLastError();
  EXPECT_NE(GetProcAddress(library, "VerifyPw"), nullptr);
  EXPECT_NE(GetProcAddress(library, "ChangePw"), nullptr);
  DWORD functions = 0;
  EXPECT_EQ(ExportedNames(library, functions),
            (std::set<std::string>{"ChangePw", "VerifyPw"}));
  EXPECT_EQ(functions, 2U);  // nothing exported by number alone
  FreeLibrary(library);
}

class PasswdNameTest : public HostTest,
                       public ::testing::WithParamInterface<std::string> {};

TEST_P(PasswdNameTest, FindsTheVariableWhateverTheCaseOfItsName) {
  WritePw(kRecord);
  // "two" opens level 2 in the file, and nothing under the default
  // passwords.
  EXPECT_EQ(RunHost(EnvironmentWith({GetParam() + "=" + pw_path()}),
                    {"verify", "two"}),
            2);
}

INSTANTIATE_TEST_SUITE_P(Names, PasswdNameTest,
                         ::testing::Values("PASSWD", "passwd", "PassWd"));

TEST_F(HostTest, KeepsTheEnvironmentItWasLoadedWith) {
  WritePw(kRecord);
  const std::string other = (dir() / "other.txt").string();
  WriteBytes(other, RecordLine("a", "b", "c", "d"));
  EXPECT_EQ(RunHost(WithPasswd(),
                    {"--after-load", "PASSWD=" + other, "verify", "two"}),
            2);
  EXPECT_EQ(
      RunHost(WithPasswd(), {"--after-load", "PASSWD=" + other, "verify", "c"}),
      -1);
}

// The default path, laid down for one test and removed afterwards. A file
// already there is somebody's: the test is then skipped.
class DefaultPathHostTest : public HostTest {
 protected:
  const fs::path folder_{"C:\\TOOLS"};
  const fs::path file_{"C:\\TOOLS\\PASSWD"};
  const fs::path backup_{"C:\\TOOLS\\PASSWD.bak"};

  void SetUp() override {
    if (fs::exists(file_) || fs::exists(backup_)) {
      GTEST_SKIP() << file_ << " exists: it is left alone";
    }
    created_folder_ = fs::create_directory(folder_);
    WriteBytes(file_, kRecord);
    laid_ = true;
  }

  void TearDown() override {
    if (!laid_) {
      return;
    }
    std::error_code ignored;
    fs::remove(file_, ignored);
    fs::remove(backup_, ignored);
    if (created_folder_) {
      fs::remove(folder_, ignored);
    }
  }

 private:
  bool laid_ = false;
  bool created_folder_ = false;
};

TEST_F(DefaultPathHostTest, IsUsedWhenPasswdIsNotSet) {
  const std::vector<std::string> without = EnvironmentWith({});
  EXPECT_EQ(RunHost(without, {"verify", "two"}), 2);
  EXPECT_EQ(RunHost(without, {"change", "3", "new"}), 0);
  EXPECT_EQ(ReadBytes(file_), RecordLine("zero", "one", "two", "new"));
  EXPECT_FALSE(fs::exists(backup_));
  EXPECT_EQ(RunHost(without, {"verify", "new"}), 3);
}

}  // namespace
}  // namespace pwlevel::testing
