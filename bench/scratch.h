// The password file that a benchmark shares with the library.
//
// The library reads PASSWD from a copy of the environment taken when it is
// loaded, before main() runs. A benchmark program therefore needs PASSWD set
// when it starts: RunWithScratchPasswd runs the program again, with PASSWD
// naming a file in a new scratch directory, when it is not.
#pragma once

#include <string>

namespace pwlevel::bench {

// Runs `body` with PASSWD set: at once when it is, else in a child process
// started with PASSWD naming "PASSWD" in a new directory under $TMPDIR (or
// /tmp), which is removed afterwards. Answers the exit status.
int RunWithScratchPasswd(int argc, char** argv, int (*body)(int, char**));

// The paths of one password file: the file, its backup, the temporary name
// the baseline change writes to, and its directory.
struct PwPaths {
  std::string file;
  std::string backup;
  std::string temporary;
  std::string directory;
};

// The paths of the file PASSWD names.
PwPaths PasswdPaths();

// Writes `path` afresh: `lines_before` comment lines of 50 characters, the
// record line, and one more comment line, with CR LF line ends. The library
// then sets a password for every level, so the record line is as a change
// writes it. Throws when a step fails.
void WritePwFile(const std::string& path, int lines_before);

}  // namespace pwlevel::bench
