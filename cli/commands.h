#pragma once
// Subcommands of kerbolt-cli. Each takes the arguments after its name and returns the process
// exit status: 0 success, 1 the table or directory could not be read or changed (German message
// on stderr), 2 wrong usage, 3 the table was read, with values that could not be read (dump and
// info; a warning per cause on stderr).

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

int RunDump(const Args& args);         // dump TABLE
int RunInfo(const Args& args);         // info TABLE
int RunScan(const Args& args);         // scan DIR
int RunCopy(const Args& args);         // copy SRC DEST [--empty] [--level L] [--block-size N] [--ignore-foreign-locks]
int RunRestructure(const Args& args);  // restructure TABLE --block-size N | --level L [--ignore-foreign-locks]
int RunVerify(const Args& args);       // verify PATH… [--json]
int RunExport(const Args& args);       // export TABLE|DIR --csv FILE|DIR | --sqlite FILE
int RunRebuild(const Args& args);      // rebuild TABLE

}  // namespace cli
