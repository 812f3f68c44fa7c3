#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace mailsift {

// The headless command line: args without the program name. Folders must be initialised.
// Returns the process exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mailsift
