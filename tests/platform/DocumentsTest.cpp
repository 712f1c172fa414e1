#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <orvik/Documents.h>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace OrvikFramework {
namespace {

using Testing::ScopedEnv;

TEST(Documents, FollowsASetDirectoryThenTheUserDirsFileThenHome) {
    Testing::TempDir dir;
    const std::string home = dir.file("home");
    const std::string config = dir.file("config");
    std::filesystem::create_directories(home + "/.config");
    std::filesystem::create_directories(config);
    struct Case {
        const char* name;
        std::optional<std::string> home, xdgConfigHome, userDirs;
        std::optional<std::string> expected;
        std::optional<std::string> set = std::nullopt;  // given to setDirectory; empty clears it as absent does
    };
    const std::vector<Case> cases = {
        {"no file", home, config, std::nullopt, home + "/Documents"},
        {"relative to home", home, config, "XDG_DOCUMENTS_DIR=\"$HOME/Papers/\"\n", home + "/Papers"},
        {"absolute", home, config, "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n  XDG_DOCUMENTS_DIR=\"/srv/docs\"",
         "/srv/docs"},
        {"home itself", home, config, "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", home},
        {"last entry wins", home, config, "XDG_DOCUMENTS_DIR=\"/a\"\nXDG_DOCUMENTS_DIR=\"/b\"\n", "/b"},
        {"commented out", home, config, "#XDG_DOCUMENTS_DIR=\"/srv/docs\"\n", home + "/Documents"},
        {"unquoted or relative ignored", home, config, "XDG_DOCUMENTS_DIR=/x\nXDG_DOCUMENTS_DIR=\"rel\"\n",
         home + "/Documents"},
        {"config under home", home, std::nullopt, "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", home + "/Docs"},
        {"home with trailing slash", home + "/", config, std::nullopt, home + "/Documents"},
        {"root home", "/", config, std::nullopt, "/Documents"},
        {"no home, absolute entry", std::nullopt, config, "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n", "/srv/docs"},
        {"no home, entry needs home", std::nullopt, config, "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", std::nullopt},
        {"set directory", home, config, "XDG_DOCUMENTS_DIR=\"/b\"\n", "/var/spool/receipts", "/var/spool/receipts//"},
        {"set directory cleared", home, config, std::nullopt, home + "/Documents", ""},
    };
    for (const Case& c : cases) {
        const std::string file = (c.xdgConfigHome ? *c.xdgConfigHome : home + "/.config") + "/user-dirs.dirs";
        std::filesystem::remove(file);
        if (c.userDirs) Testing::writeFile(file, Data(c.userDirs->begin(), c.userDirs->end()));
        ScopedEnv homeEnv("HOME", c.home);
        ScopedEnv configEnv("XDG_CONFIG_HOME", c.xdgConfigHome);
        Documents::setDirectory(c.set);
        EXPECT_EQ(Documents::directory(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace OrvikFramework
