#include "ToolFiles.h"

#include <orvik/Files.h>

#include "CliError.h"

namespace OrvikFramework::Cli {

Data readWholeFile(const std::string& path) {
    Result<Data> bytes = readFile(path);
    if (!bytes) throw CliError(Exit::Input, bytes.error().message);
    return std::move(bytes).value();
}

void writeNewFile(const std::string& path, const Data& bytes, bool replace) {
    const IfExists ifExists = replace ? IfExists::Replace : IfExists::Refuse;
    if (const Status failed = writeFileExclusive(path, bytes, FileMode::Readable, ifExists)) {
        throw CliError(Exit::Input, failed->message);
    }
}

}  // namespace OrvikFramework::Cli
