#include "scratch.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pwlevel.h"

namespace pwlevel::bench {

int RunWithScratchPasswd(int argc, char** argv, int (*body)(int, char**)) {
  if (std::getenv("PASSWD") != nullptr) {
    return body(argc, argv);
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr ? tmp : "/tmp") + "/pwlevel-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("pwlevel bench: mkdtemp");
    return 1;
  }
  const std::string passwd = pattern + "/PASSWD";
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("PASSWD", passwd.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    std::perror("pwlevel bench: execv");
    std::_Exit(127);
  }
  int status = 1;
  if (child < 0 || ::waitpid(child, &status, 0) != child) {
    std::perror("pwlevel bench: fork");
    status = 1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

PwPaths PasswdPaths() {
  const char* passwd = std::getenv("PASSWD");
  if (passwd == nullptr || *passwd == '\0') {
    throw std::runtime_error("PASSWD names no file");
  }
  const std::filesystem::path file(passwd);
  std::filesystem::path backup = file.parent_path() / file.filename().string();
  const std::string name = file.filename().string();
  backup.replace_filename(name.substr(0, name.find('.')) + ".bak");
  const std::string directory =
      file.has_parent_path() ? file.parent_path().string() : ".";
  return {file.string(), backup.string(), file.string() + ".baseline-new",
          directory};
}

void WritePwFile(const std::string& path, int lines_before) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    char line[64];
    for (int i = 0; i < lines_before; ++i) {
      std::snprintf(line, sizeof line,
                    "; comment line %06d of the password file ......\r\n", i);
      out << line;
    }
    out << "Passwd=:::::\r\n; the line after the record line\r\n";
    if (!out.flush()) {
      throw std::runtime_error("cannot write " + path);
    }
  }
  const std::vector<std::string> passwords = {"guest1", "operat1", "servic1",
                                              "admin1"};
  for (int level = 0; level < 4; ++level) {
    std::string password = passwords[static_cast<std::size_t>(level)];
    if (ChangePw(level, password.data()) != PWLEVEL_CHANGED) {
      throw std::runtime_error("ChangePw cannot set up " + path);
    }
  }
}

}  // namespace pwlevel::bench
