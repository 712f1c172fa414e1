#include "PreviewCommand.h"

#include <cstdio>
#include <filesystem>

#include <orvik/vprinter/Server.h>

#include "CliError.h"
#include "ToolFiles.h"

namespace OrvikFramework::Cli {
namespace {

std::string numberedPath(const std::string& out, std::size_t number) {
    if (number == 1) return out;
    const std::filesystem::path path(out);
    return (path.parent_path() / (path.stem().string() + "-" + std::to_string(number) + path.extension().string())).string();
}

}  // namespace

std::vector<std::string> previewJob(const Data& job, const std::string& out, int paperDots, bool replace) {
    VirtualPrinter::RenderOptions render;
    render.paperDots = static_cast<std::uint32_t>(paperDots);
    std::vector<VirtualPrinter::Receipt> receipts;
    VirtualPrinter::PrintSession session(
        render, VirtualPrinter::Limits{}, [&receipts](VirtualPrinter::Receipt receipt) { receipts.push_back(std::move(receipt)); },
        nullptr);
    session.feed(job.data(), job.size());
    session.finish();
    if (receipts.empty()) throw CliError(Exit::Input, "the job prints nothing");
    std::vector<std::string> written;
    for (const VirtualPrinter::Receipt& receipt : receipts) {
        for (const std::string& warning : receipt.warnings) std::fprintf(stderr, "orvik: warning: %s\n", warning.c_str());
        written.push_back(numberedPath(out, written.size() + 1));
        writeNewFile(written.back(), VirtualPrinter::encodePng(receipt), replace);
    }
    return written;
}

}  // namespace OrvikFramework::Cli
