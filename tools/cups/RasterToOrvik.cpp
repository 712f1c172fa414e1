// rastertoorvik: CUPS raster pages in, ESC/POS pictures out on standard output. Grey pages are dithered here,
// 1-bit pages are passed through; trailing blank rows are not printed; the paper is cut per page or per job as the
// page header's CutMedia says, and the dithering is chosen by its cupsInteger1 (both set by the PPD's options).
#include <fcntl.h>
#include <unistd.h>

#include <cups/raster.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <orvik/ImageConversion.h>
#include <orvik/Orvik.h>

#include "Messages.h"

namespace {

using namespace OrvikFramework;
using Cups::report;

// Pages longer than this (about 8 m at 203 dpi) are not receipts; the bound also caps the memory a page takes.
constexpr unsigned tallestPage = 65535;

// The SDK's bytes go to standard output, which the scheduler hands to the backend.
class StandardOutput final : public TcpSocket {
public:
    std::int64_t SendData(const Data& data) override {
        for (std::size_t done = 0; done < data.size();) {
            const ssize_t n = ::write(STDOUT_FILENO, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return -1;
            done += static_cast<std::size_t>(n);
        }
        return static_cast<std::int64_t>(data.size());
    }
};

// The page's dots, 1 printing, read from the raster; absent with `why` set for a page this printer cannot take.
std::optional<MonoBitmap> readPage(cups_raster_t* raster, const cups_page_header2_t& h, std::string& why) {
    const bool grey = h.cupsBitsPerColor == 8;
    const bool inkIsOne = h.cupsColorSpace == CUPS_CSPACE_K;
    if ((h.cupsBitsPerColor != 1 && !grey) || h.cupsBitsPerPixel != h.cupsBitsPerColor ||
        (!inkIsOne && h.cupsColorSpace != CUPS_CSPACE_W && h.cupsColorSpace != CUPS_CSPACE_SW)) {
        why = "only 1-bit or 8-bit grey pages can be printed";
        return std::nullopt;
    }
    if (h.cupsWidth == 0 || h.cupsWidth > static_cast<unsigned>(PictureMaxWidth) || h.cupsHeight == 0 || h.cupsHeight > tallestPage ||
        h.cupsBytesPerLine != (h.cupsWidth * h.cupsBitsPerPixel + 7) / 8) {
        why = "the page is larger than a receipt, or its header is inconsistent";
        return std::nullopt;
    }
    std::vector<std::uint8_t> line(h.cupsBytesPerLine);
    GreyPicture pixels{h.cupsWidth, h.cupsHeight, {}};
    MonoBitmap page{h.cupsWidth, h.cupsHeight, {}};
    (grey ? pixels.pixels : page.rows).reserve(std::size_t{h.cupsBytesPerLine} * h.cupsHeight);
    for (unsigned y = 0; y < h.cupsHeight; ++y) {
        if (cupsRasterReadPixels(raster, line.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine) {
            why = "the raster data ends inside a page";
            return std::nullopt;
        }
        if (grey) {
            for (std::uint8_t& value : line) value = inkIsOne ? static_cast<std::uint8_t>(255 - value) : value;
            pixels.pixels.insert(pixels.pixels.end(), line.begin(), line.end());
            continue;
        }
        if (!inkIsOne)
            for (std::uint8_t& value : line) value = static_cast<std::uint8_t>(~value);
        // The bits past the page's right edge print nothing.
        if (h.cupsWidth % 8) line.back() &= static_cast<std::uint8_t>(0xFF << (8 - h.cupsWidth % 8));
        page.rows.insert(page.rows.end(), line.begin(), line.end());
    }
    if (!grey) return page;
    const Dither methods[] = {Dither::FloydSteinberg, Dither::Atkinson, Dither::Threshold};
    PictureOptions options;
    options.dither = methods[h.cupsInteger[0] < 3 ? h.cupsInteger[0] : 0];
    auto dots = ditherPicture(std::move(pixels), options);
    if (!dots) why = dots.error().message;
    return dots ? std::optional<MonoBitmap>(std::move(dots).value()) : std::nullopt;
}

// The page without its blank rows at the bottom.
void trimTrailingBlank(MonoBitmap& page) {
    const std::size_t rowBytes = page.rowBytes();
    while (page.height > 0) {
        const auto row = page.rows.begin() + static_cast<std::ptrdiff_t>((page.height - 1) * rowBytes);
        if (std::any_of(row, row + static_cast<std::ptrdiff_t>(rowBytes), [](std::uint8_t b) { return b != 0; })) break;
        --page.height;
    }
    page.rows.resize(page.height * rowBytes);
}

}  // namespace

int main(int argc, char* argv[]) {
    Cups::logToScheduler();
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return 1;
    }
    const int fd = argc == 7 ? ::open(argv[6], O_RDONLY | O_CLOEXEC) : STDIN_FILENO;
    if (fd < 0) {
        report("ERROR: cannot open the print file");
        return 1;
    }
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    Orvik sdk;
    sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    sdk.TCPDevice = std::make_shared<StandardOutput>();
    sdk.InitPrinter();
    cups_page_header2_t header;
    int pages = 0;
    bool uncut = false;
    bool cutAtEnd = false;
    std::string why;
    while (why.empty() && cupsRasterReadHeader2(raster, &header)) {
        std::optional<MonoBitmap> page = readPage(raster, header, why);
        if (!page) break;
        trimTrailingBlank(*page);
        report("PAGE: %d 1", ++pages);
        if (page->height == 0) continue;
        if (const Status refused = sdk.PrintPicture(*page)) why = refused->message;
        uncut = true;
        cutAtEnd = header.CutMedia != CUPS_CUT_NONE;
        if (header.CutMedia == CUPS_CUT_PAGE) {
            sdk.SelectCutMode_N_CutPaper(66);
            uncut = false;
        }
    }
    if (uncut && cutAtEnd && why.empty()) sdk.SelectCutMode_N_CutPaper(66);
    // Every write went to standard output at once; a failed one is the job's first error.
    if (const JobOutcome written = sdk.WaitUntilSent(std::chrono::milliseconds(0)); !written && why.empty())
        why = "cannot write the printer commands: " + written.error->message;
    cupsRasterClose(raster);
    if (argc == 7) ::close(fd);
    if (!why.empty()) {
        report("ERROR: %s", why.c_str());
        return 1;
    }
    if (pages == 0) report("INFO: the job had no pages");
    return 0;
}
