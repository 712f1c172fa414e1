#pragma once

#include <string>

#include <orvik/Data.h>

namespace OrvikFramework::Cli {

/// Every byte of a file; throws CliError (input) when it cannot be read.
Data readWholeFile(const std::string& path);

/// Writes next to the target and renames, so a failed write never leaves a half file in place of a good one;
/// throws CliError (input) when it cannot.
void writeFileAtomically(const std::string& path, const Data& bytes);

}  // namespace OrvikFramework::Cli
