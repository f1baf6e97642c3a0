#include "prompt.h"

#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace pwlevel::tool {
namespace {

// Turns terminal echo off for as long as it lives.
class EchoOff {
 public:
  EchoOff() {
#ifdef _WIN32
    input_ = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input_, &saved_) != 0) {
      active_ =
          SetConsoleMode(input_,
                         saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    }
#else
    if (tcgetattr(STDIN_FILENO, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
#endif
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  ~EchoOff() {
    if (!active_) {
      return;
    }
#ifdef _WIN32
    SetConsoleMode(input_, saved_);
#else
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
#endif
  }

 private:
#ifdef _WIN32
  HANDLE input_ = nullptr;
  DWORD saved_ = 0;
#else
  termios saved_{};
#endif
  bool active_ = false;
};

}  // namespace

bool InputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

std::optional<std::string> ReadPasswordLine(const char* prompt) {
  std::string line;
  bool got_line = false;
  if (InputIsTerminal()) {
    std::cerr << prompt << std::flush;
    const EchoOff quiet;
    got_line = static_cast<bool>(std::getline(std::cin, line));
    std::cerr << '\n';
  } else {
    got_line = static_cast<bool>(std::getline(std::cin, line));
  }
  if (!got_line) {
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

}  // namespace pwlevel::tool
