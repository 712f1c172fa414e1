#include <orvik/Documents.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/posix/Files.h"

namespace OrvikFramework::Documents {
namespace {

std::optional<std::string>& configured() {
    static std::optional<std::string> path;
    return path;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The XDG_DOCUMENTS_DIR entry of a user-dirs.dirs file: a quoted path, absolute or starting with $HOME.
std::optional<std::string> userDirsEntry(std::string_view content, const std::optional<std::string>& home) {
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=\"";
    std::optional<std::string> found;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view{} : content.substr(end + 1);
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        if (!line.starts_with(key)) continue;
        line.remove_prefix(key.size());
        const std::size_t close = line.find('"');
        if (close == std::string_view::npos) continue;
        std::string_view value = line.substr(0, close);
        // Like the shell that normally reads this file, the last assignment wins.
        if (value.starts_with("$HOME")) {
            if (!home) continue;
            found = *home + std::string(value.substr(5));
        } else if (value.starts_with("/")) {
            found = std::string(value);
        }
    }
    return found;
}

}  // namespace

std::optional<std::string> directory() {
    if (configured()) return configured();
    const std::optional<std::string> home = environment("HOME");
    std::optional<std::string> config = environment("XDG_CONFIG_HOME");
    if (!config && home) config = *home + "/.config";
    if (config) {
        Data content;
        if (Files::readAll(*config + "/user-dirs.dirs", content) == 0) {
            const std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
            if (auto entry = userDirsEntry(text, home)) return withoutTrailingSlash(std::move(*entry));
        }
    }
    if (!home) return std::nullopt;
    const std::string base = withoutTrailingSlash(*home);
    return (base == "/" ? std::string() : base) + "/Documents";
}

void setDirectory(std::optional<std::string> path) {
    configured() = path && !path->empty() ? std::optional<std::string>(withoutTrailingSlash(std::move(*path)))
                                          : std::nullopt;
}

}  // namespace OrvikFramework::Documents
