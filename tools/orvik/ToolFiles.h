#pragma once

#include <string>

#include <orvik/Data.h>

namespace OrvikFramework::Cli {

/// Every byte of a file; throws CliError (input) when it cannot be read.
Data readWholeFile(const std::string& path);

/// Creates the file whole or not at all, never through a symlink; an existing file is refused unless `replace`.
/// Throws CliError (input) when it cannot.
void writeNewFile(const std::string& path, const Data& bytes, bool replace);

}  // namespace OrvikFramework::Cli
