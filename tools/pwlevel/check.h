// `pwlevel check`: a report on the password file in use.
#pragma once

#include <ostream>

namespace pwlevel::tool {

// Writes the report to `out`; answers the exit status: 0 when verifications
// can work as intended, 1 when something makes them refuse.
int RunCheck(std::ostream& out);

}  // namespace pwlevel::tool
