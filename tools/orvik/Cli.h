#pragma once

namespace OrvikFramework::Cli {

/// Runs the `orvik` command line; returns the process exit code (see CliError.h).
int run(int argc, char** argv);

}  // namespace OrvikFramework::Cli
