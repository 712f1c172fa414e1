#pragma once

#include <string>
#include <vector>

#include <orvik/Data.h>

namespace OrvikFramework::Cli {

/// Renders a job as the virtual printer prints it on paper `paperDots` wide: the first receipt into `out`, further ones
/// (after cuts) into OUT-2.png, OUT-3.png ..., refusing existing files unless `replace`. Returns the files written;
/// throws CliError (input) when the job prints nothing or a file cannot be written.
std::vector<std::string> previewJob(const Data& job, const std::string& out, int paperDots, bool replace);

}  // namespace OrvikFramework::Cli
