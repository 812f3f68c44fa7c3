#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace mailsift {

// Each command gets the arguments after its name; output lines are TAB-separated records.
int RunAddressesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunConfigCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExtractCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunHeadersCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunHistoryCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunShowCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mailsift
