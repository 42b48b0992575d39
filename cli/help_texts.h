#pragma once
// The German help of kerbolt-cli: the overview (--help) and one text per command
// (COMMAND --help) with its call, options and exit statuses.

#include <string>

namespace cli {

// The overview of every command; ends in a line break.
const std::string& OverviewHelp();
// The help of `command`; empty when there is no such command.
std::string CommandHelp(const std::string& command);

}  // namespace cli
