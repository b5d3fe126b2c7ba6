// The commands of the command line run with no window: the mailing, a report, the call list.
#pragma once

#include "CommandLine.h"

namespace cli {

/// The program's entry for a command line (IsCommandLine): the application object on the
/// offscreen platform, so that no display is needed, then the command. Returns the exit status.
int Main(int argc, char** argv);

/// Runs a command within an application object; the exit status (ExitStatus). Lines for the
/// operator go to standard output, failures to standard error.
int Run(const Command& command);

} // namespace cli
