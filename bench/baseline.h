// The floor of the file work of a verification and of a change, done with
// plain system calls and nothing else: what the library is measured against.
#pragma once

#include "scratch.h"

namespace pwlevel::bench {

// Opens the file, reads lines (up to 255 characters each) until the first
// one that begins with "Passwd=", and closes the file. True when such a line
// was found.
bool BaselineVerify(const char* path);

// The same, taking after the open the shared flock that every open of the
// library takes. Not a baseline: it shows how much of the gap that lock is.
bool BaselineVerifyLocked(const char* path);

// Renames the file to its backup name, copies the backup into a new file,
// flushes the new file to the disk, renames it to the file's name and
// flushes the directory. True when every step worked. The backup stays; the
// next call's rename replaces it.
bool BaselineChange(const PwPaths& paths);

}  // namespace pwlevel::bench
