// pwlevel: the administrator's tool for the password file of the pwlevel
// library. It finds the file exactly as the library does.
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "ops/ops.h"
#include "platform/platform.h"
#include "prompt.h"
#include "pwlevel.h"
#include "store/pwfile.h"
#include "store/secret.h"

namespace pwlevel::tool {
namespace {

constexpr int kUsageError = 2;

constexpr const char* kUsage =
    "usage: pwlevel {verify | change LEVEL | init | check | --help | "
    "--version}";

constexpr const char* kHelp =
    "pwlevel: check and change the passwords of access levels 0 to 3.\n"
    "\n"
    "  pwlevel verify        read a password from standard input and print\n"
    "                        the level it opens (exit 0), or say that it\n"
    "                        opens none (exit 1)\n"
    "  pwlevel change LEVEL  read a new password for LEVEL (0 to 3, at most\n"
    "                        8 characters) from standard input and store it\n"
    "  pwlevel init          create the password file with the default\n"
    "                        passwords; refuses when it exists\n"
    "  pwlevel check         report on the password file in use; exit 1\n"
    "                        when something makes verifications refuse\n"
    "\n"
    "The password file is named by the environment variable PASSWD, or else\n"
    "is the built-in default path. On a terminal, passwords are read\n"
    "without echo.\n";

// A password read from standard input, wiped when it goes.
std::optional<store::Secret> ReadPassword(const char* prompt) {
  std::optional<std::string> line = ReadPasswordLine(prompt);
  if (!line.has_value()) {
    return std::nullopt;
  }
  return store::Secret(std::move(*line));
}

int Verify() {
  std::optional<store::Secret> password = ReadPassword("Password: ");
  if (!password.has_value()) {
    std::cerr << "pwlevel: no password on standard input\n";
    return 1;
  }
  const int level = VerifyPw(password->text().data());
  if (level == PWLEVEL_NO_LEVEL) {
    std::cout << "no level\n";
    return 1;
  }
  std::cout << "level " << level << '\n';
  return 0;
}

std::optional<store::Secret> ReadNewPassword() {
  std::optional<store::Secret> first = ReadPassword("New password: ");
  if (!first.has_value() || !InputIsTerminal()) {
    return first;
  }
  std::optional<store::Secret> again = ReadPassword("Again: ");
  if (!again.has_value() || again->view() != first->view()) {
    std::cerr << "pwlevel: the two passwords differ; nothing changed\n";
    return std::nullopt;
  }
  return first;
}

std::optional<int> ParseLevel(std::string_view text) {
  if (text.size() != 1 || text[0] < '0' || text[0] > '3') {
    return std::nullopt;
  }
  return text[0] - '0';
}

int Change(std::string_view level_text) {
  const std::optional<int> level = ParseLevel(level_text);
  if (!level.has_value()) {
    std::cerr << "pwlevel: level must be 0, 1, 2 or 3, not \"" << level_text
              << "\"\n";
    return 1;
  }
  std::optional<store::Secret> password = ReadNewPassword();
  if (!password.has_value()) {
    return 1;
  }
  if (password->view().size() > PWLEVEL_MAX_PASSWORD) {
    std::cerr << "pwlevel: a password has at most " << PWLEVEL_MAX_PASSWORD
              << " characters; nothing changed\n";
    return 1;
  }
  ops::CutAtFirstSpace(password->text().data());
  const std::string path = store::LocatePwFile();
  const ops::ChangeOutcome outcome =
      ops::ChangePassword(*level, password->text().c_str());
  if (outcome.result == PWLEVEL_REFUSED) {
    std::cerr << "pwlevel: \"" << path
              << "\" has no record line; its lines are kept as they were\n";
    return 1;
  }
  if (outcome.result != PWLEVEL_CHANGED) {
    std::cerr << "pwlevel: could not rewrite \"" << path
              << "\": " << outcome.failed_step << ": "
              << platform::Os().Describe(outcome.cause)
              << "\n(run \"pwlevel check\" to see what is on disk)\n";
    return 1;
  }
  std::cout << "level " << *level << ": password changed\n";
  return 0;
}

// Writes a new password file holding the default record.
int Init() {
  const std::string path = store::LocatePwFile();
  store::File file;
  const platform::Status created = store::File::CreateNew(path, file);
  if (created.error == platform::Error::already_exists) {
    std::cerr << "pwlevel: \"" << path
              << "\" exists already; it is left as it was\n";
    return 1;
  }
  if (!created.ok()) {
    std::cerr << "pwlevel: cannot create \"" << path
              << "\": " << platform::Os().Describe(created) << '\n';
    return 1;
  }
  store::LineWriter writer(file);
  platform::Status written =
      writer.Put("; pwlevel password file: edit with \"pwlevel change\"\n");
  if (written.ok()) {
    written = writer.Put(store::DefaultPwRecord() + "\n");
  }
  if (written.ok()) {
    written = writer.Flush();
  }
  if (written.ok()) {
    written = platform::Os().Sync(file.handle());
  }
  if (written.ok()) {
    written = file.Close();
  }
  if (!written.ok()) {
    file.Close();
    platform::Os().Remove(path);
    std::cerr << "pwlevel: cannot write \"" << path
              << "\": " << platform::Os().Describe(written) << '\n';
    return 1;
  }
  std::cout << "created \"" << path << "\" with the default passwords\n";
  return 0;
}

int Usage() {
  std::cerr << kUsage << '\n';
  return kUsageError;
}

int Run(const std::vector<std::string_view>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage << "\n\n" << kHelp;
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "pwlevel " << PWLEVEL_VERSION << '\n';
    return 0;
  }
  if (args.size() == 1 && args[0] == "verify") {
    return Verify();
  }
  if (args.size() == 1 && args[0] == "init") {
    return Init();
  }
  if (args.size() == 1 && args[0] == "check") {
    return RunCheck(std::cout);
  }
  if (args.size() == 2 && args[0] == "change") {
    return Change(args[1]);
  }
  return Usage();
}

}  // namespace
}  // namespace pwlevel::tool

int main(int argc, char** argv) {
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return pwlevel::tool::Run(args);
  } catch (const std::exception& error) {
    std::cerr << "pwlevel: " << error.what() << '\n';
    return 1;
  }
}
