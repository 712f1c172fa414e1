#include "ToolFiles.h"

#include <cstring>
#include <filesystem>
#include <fstream>

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

void writeFileAtomically(const std::string& path, const Data& bytes) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw CliError(Exit::Input, "cannot write \"" + path + "\"");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw CliError(Exit::Input, "cannot write \"" + path + "\"");
    }
}

}  // namespace OrvikFramework::Cli
