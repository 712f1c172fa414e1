#pragma once

#include <string>

#include <orvik/Data.h>
#include <orvik/Error.h>

namespace OrvikFramework {

/// Every byte of the file at `path`; FileError ("cannot read "…": why) when it cannot be read.
Result<Data> readFile(const std::string& path);

/// Permissions of a file we create (the umask may narrow them).
enum class FileMode { OwnerOnly = 0600, Readable = 0644 };

/// Whether writeFileExclusive may replace a file already at the path.
enum class IfExists { Refuse, Replace };

/// Puts a file holding exactly `bytes` at `path`, all or nothing: written and synced under a fresh name beside it,
/// then moved into place, never through a symlink. A file already at `path` is refused (FileError "… already
/// exists") unless `ifExists` is Replace, which replaces the entry itself, never what a symlink there points to.
Status writeFileExclusive(const std::string& path, const Data& bytes, FileMode mode = FileMode::Readable,
                          IfExists ifExists = IfExists::Refuse);

}  // namespace OrvikFramework
