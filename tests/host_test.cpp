// A host process loads the shared library by name, as a program would.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/pw_fixture.h"

namespace pwlevel::testing {
namespace {

using VerifyFunction = int32_t (*)(char*);
using ChangeFunction = int32_t (*)(int32_t, char*);

// What a host child found wrong, as its exit status.
enum HostVerdict {
  kHostWell = 0,
  kNotLoaded,
  kNotFound,
  kWrongAnswer,
};

void ClearPasswdFromEnvironment() {
  for (const char* name : {"PASSWD", "passwd", "Passwd", "pAsSwD"}) {
    ::unsetenv(name);
  }
}

// Loads the library with PASSWD spelled `name`, then changes the environment
// and checks that the library still uses what it saw when loaded.
HostVerdict LoadAndUse(const char* name, const std::string& path) {
  ClearPasswdFromEnvironment();
  ::setenv(name, path.c_str(), 1);
  void* library = ::dlopen(PWLEVEL_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    return kNotLoaded;
  }
  auto verify = reinterpret_cast<VerifyFunction>(::dlsym(library, "VerifyPw"));
  auto change = reinterpret_cast<ChangeFunction>(::dlsym(library, "ChangePw"));
  if (verify == nullptr || change == nullptr) {
    return kNotFound;
  }
  ::setenv(name, "/nonexistent/elsewhere", 1);
  ::setenv("PASSWD", "/nonexistent/other", 1);
  char three[] = "three";
  char fresh[] = "fresh";
  char fresh_again[] = "fresh";
  const bool right =
      verify(three) == 3 && change(2, fresh) == 0 && verify(fresh_again) == 2;
  ::dlclose(library);
  return right ? kHostWell : kWrongAnswer;
}

int InChild(const char* name, const std::string& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::_exit(LoadAndUse(name, path));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HostTest : public PwFileTest {};

TEST_F(HostTest, FindsBothFunctionsAndKeepsTheEnvironmentOfItsLoading) {
  for (const char* name : {"PASSWD", "passwd", "pAsSwD"}) {
    WritePw(RecordLine("zero", "one", "two", "three"));
    EXPECT_EQ(InChild(name, pw_path()), kHostWell) << name;
    EXPECT_EQ(Verify("fresh"), 2) << name;
  }
}

TEST_F(HostTest, UsesTheDefaultPathWithoutPasswd) {
  if (std::filesystem::exists("/TOOLS/PASSWD")) {
    GTEST_SKIP() << "/TOOLS/PASSWD exists on this machine";
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ClearPasswdFromEnvironment();
    void* library = ::dlopen(PWLEVEL_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    auto verify =
        library == nullptr
            ? nullptr
            : reinterpret_cast<VerifyFunction>(::dlsym(library, "VerifyPw"));
    char admin[] = "admin";
    ::_exit(verify != nullptr && verify(admin) == 3 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace pwlevel::testing
