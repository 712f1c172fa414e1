// The lean `orvik`: prints over TCP, USB, serial, files and CUPS itself, and hands every command that needs the
// system's Bluetooth or Wi-Fi (D-Bus) or the virtual printer (FreeType) to the full program installed beside it,
// before it has read any input, so the usual print job loads none of their libraries.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include <orvik/Platform.h>

#include "Cli.h"
#include "CliError.h"
#include "PreviewCommand.h"
#include "VirtualPrinterCommands.h"

namespace OrvikFramework::Cli {
namespace {

char** arguments = nullptr;

[[noreturn]] void handOver() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string full = (self.parent_path() / ORVIK_FULL_PROGRAM).lexically_normal().string();
    ::execv(full.c_str(), arguments);
    std::fprintf(stderr, "orvik: cannot start %s for this command: %s\n", full.c_str(), std::strerror(errno));
    std::exit(static_cast<int>(Exit::Usage));
}

bool startsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// Read before the command line is parsed, so that nothing (a password or a job on standard input) is consumed
// before the full program runs. A word that only looks like one of these costs a hand-over, nothing else.
bool needsFullProgram(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "scan" || word == "printer" || word == "preview" || startsWith(word, "--virtual-printer")) return true;
        if (const std::size_t equals = word.find('='); startsWith(word, "--") && equals != std::string_view::npos)
            word.remove_prefix(equals + 1);
        if (startsWith(word, "ble:") || startsWith(word, "wifi:")) return true;
    }
    return false;
}

}  // namespace

void withBackend(const std::string& virtualPrinterDir, const std::function<void()>& work) {
    if (!virtualPrinterDir.empty()) handOver();
    work();
}

void servePrinter(const VirtualPrinter::ServerOptions&, int) { handOver(); }

std::vector<std::string> previewJob(const Data&, const std::string&, int, bool) { handOver(); }

}  // namespace OrvikFramework::Cli

namespace OrvikFramework::Platform {

// Whatever still asks for Bluetooth or Wi-Fi goes to the full program too.
PlatformBackend systemBackend() {
    return {[](CentralManagerDelegate*) -> std::shared_ptr<CentralManager> { Cli::handOver(); },
            []() -> std::shared_ptr<HotspotConfigurationManager> { Cli::handOver(); }};
}

}  // namespace OrvikFramework::Platform

int main(int argc, char** argv) {
    OrvikFramework::Cli::arguments = argv;
    if (OrvikFramework::Cli::needsFullProgram(argc, argv)) OrvikFramework::Cli::handOver();
    return OrvikFramework::Cli::run(argc, argv);
}
