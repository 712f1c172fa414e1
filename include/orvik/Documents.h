#pragma once

#include <optional>
#include <string>

namespace OrvikFramework::Documents {

/// The folder that holds the spool file and the files and images to print, without a trailing "/";
/// absent when none is known. By default the user's documents folder: XDG_DOCUMENTS_DIR from
/// user-dirs.dirs (in $XDG_CONFIG_HOME, else $HOME/.config), else $HOME/Documents.
std::optional<std::string> directory();

/// Makes `path` the folder `directory()` gives from now on; absent or empty goes back to the user's
/// documents folder.
void setDirectory(std::optional<std::string> path);

}  // namespace OrvikFramework::Documents
