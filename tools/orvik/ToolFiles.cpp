#include "ToolFiles.h"

#include <cstring>

#include <orvik/Files.h>

#include "CliError.h"
#include "platform/posix/Files.h"

namespace OrvikFramework::Cli {

Data readWholeFile(const std::string& path) {
    // One sized read rather than a character at a time: a photo is megabytes.
    Data bytes;
    if (const int error = Files::readAll(path, bytes)) {
        throw CliError(Exit::Input, "cannot read \"" + path + "\": " + std::strerror(error));
    }
    return bytes;
}

void writeNewFile(const std::string& path, const Data& bytes, bool replace) {
    const IfExists ifExists = replace ? IfExists::Replace : IfExists::Refuse;
    if (const Status failed = writeFileExclusive(path, bytes, FileMode::Readable, ifExists)) {
        throw CliError(Exit::Input, failed->message);
    }
}

}  // namespace OrvikFramework::Cli
