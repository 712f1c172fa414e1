// QR codes: the exact GS ( k bytes, what is refused, and symbols a scanner reads back from the printed receipt.
#include <gtest/gtest.h>

#include <orvik/Orvik.h>
#include <orvik/vprinter/Renderer.h>

#include "qr/QrReadBack.h"
#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "support/RecordingTcpSocket.h"

namespace OrvikFramework {
namespace {

using Testing::bytes;
using Testing::text;
using Testing::operator+;

struct Printed {
    bool accepted = false;
    std::vector<Data> pieces;
};

Printed send(bool raster, const std::string& content, std::uint8_t size, QR_ERROR_CORRECTION level) {
    Orvik sdk;
    sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    auto device = std::make_shared<Testing::RecordingTcpSocket>();
    sdk.TCPDevice = device;
    Printed out;
    out.accepted = raster ? sdk.PrintQRCodeRaster(content, size, level) : sdk.PrintQRCode(content, size, level);
    out.pieces = device->pieces;
    return out;
}

Data joined(const std::vector<Data>& pieces) {
    Data all;
    for (const Data& piece : pieces) all = all + piece;
    return all;
}

std::vector<VirtualPrinter::Receipt> render(const Data& stream) {
    VirtualPrinter::Renderer renderer;
    renderer.apply(VirtualPrinter::decodeAll(stream));
    renderer.finish();
    return renderer.takeReceipts();
}

TEST(QrCodeTest, NativeSymbolIsFivePiecesOfExactBytes) {
    const std::string longer(300, 'x');
    struct Case {
        std::string content;
        std::uint8_t size;
        QR_ERROR_CORRECTION level;
        Data store;
    };
    for (const Case& c : {Case{"AB", 3, QR_ERROR_CORRECTION::M, bytes({0x1d, '(', 'k', 5, 0, 0x31, 0x50, 0x30}) + text("AB")},
                          Case{longer, 16, QR_ERROR_CORRECTION::H,
                               bytes({0x1d, '(', 'k', 0x2f, 0x01, 0x31, 0x50, 0x30}) + text(longer)}}) {
        SCOPED_TRACE(c.content.size());
        const Printed printed = send(false, c.content, c.size, c.level);
        EXPECT_TRUE(printed.accepted);
        EXPECT_EQ(printed.pieces, (std::vector<Data>{bytes({0x1d, '(', 'k', 4, 0, 0x31, 0x41, 0x32, 0x00}),
                                                     bytes({0x1d, '(', 'k', 3, 0, 0x31, 0x43, c.size}),
                                                     bytes({0x1d, '(', 'k', 3, 0, 0x31, 0x45, rawValue(c.level)}),
                                                     c.store, bytes({0x1d, '(', 'k', 3, 0, 0x31, 0x51, 0x30})}));
    }
}

TEST(QrCodeTest, RasterFallbackIsOneRasterImageOfTheSymbolInItsQuietZone) {
    // Version 1 is 21 modules, 29 with the quiet zone: 87 dots at 3 dots a module, in 11-byte rows.
    const Printed printed = send(true, "AB", 3, QR_ERROR_CORRECTION::L);
    EXPECT_TRUE(printed.accepted);
    ASSERT_EQ(printed.pieces.size(), 2u);
    EXPECT_EQ(printed.pieces[0], bytes({0x1d, 'v', '0', 0, 11, 0, 87, 0}));
    EXPECT_EQ(printed.pieces[1].size(), 11u * 87u);
}

TEST(QrCodeTest, WhatCannotPrintIsRefusedWithALogLineAndNothingSent) {
    struct Case {
        bool raster;
        std::string content;
        std::uint8_t size;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {false, "x", 0, "QR module size 0 is outside 1-16 dots"},
        {true, "x", 17, "QR module size 17 is outside 1-16 dots"},
        {false, "", 3, "QR code data must be 1-7089 bytes, not 0"},
        {false, std::string(7090, '1'), 3, "QR code data must be 1-7089 bytes, not 7090"},
        {true, "", 3, "QR code data is empty"},
        // More than a version 40 symbol holds at level H.
        {true, std::string(1300, 'x'), 3, "QR code data of 1300 bytes does not fit a QR code at level H"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        Testing::LogCapture log;
        const Printed printed = send(c.raster, c.content, c.size, QR_ERROR_CORRECTION::H);
        EXPECT_FALSE(printed.accepted);
        EXPECT_TRUE(printed.pieces.empty());
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines()[0].find(c.logged), std::string::npos) << log.lines()[0];
    }
}

TEST(QrCodeTest, NativeAndRasterSymbolsScanAsTheirDataAtEveryLevel) {
    const std::string levels = "LMQH";
    for (const QR_ERROR_CORRECTION level :
         {QR_ERROR_CORRECTION::L, QR_ERROR_CORRECTION::M, QR_ERROR_CORRECTION::Q, QR_ERROR_CORRECTION::H}) {
        const std::string letter(1, levels[rawValue(level) - 48]);
        for (const bool raster : {false, true}) {
            SCOPED_TRACE(letter + (raster ? " raster" : " native"));
            const std::string content = "https://orvik.invalid/receipt/20261207-0042?level=" + letter;
            const Printed printed = send(raster, content, 4, level);
            ASSERT_TRUE(printed.accepted);
            const auto receipts = render(joined(printed.pieces));
            ASSERT_EQ(receipts.size(), 1u);
            EXPECT_TRUE(receipts[0].warnings.empty()) << dumpText(receipts[0]);
            // Each form really took its own path through the printer.
            EXPECT_EQ(receipts[0].commands.back().kind,
                      raster ? VirtualPrinter::Command::Kind::RasterImage : VirtualPrinter::Command::Kind::QrPrint);
            const auto found = Testing::readQrCodes(encodePng(receipts[0]));
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].text, content);
            EXPECT_EQ(found[0].level, letter);
        }
    }
}

TEST(QrCodeTest, VirtualPrinterSkipsBrokenFunctionsWholeAndWarnsOfWhatItCannotPrint) {
    const Data store = bytes({0x1d, '(', 'k', 5, 0, 0x31, 0x50, 0x30}) + text("OK");
    const Data print = bytes({0x1d, '(', 'k', 3, 0, 0x31, 0x51, 0x30});
    struct Case {
        std::string what;
        Data stream;
        std::size_t errors;
        std::size_t warnings;
        bool scans;
    };
    const std::vector<Case> cases = {
        // The skipped parameters look like text; none of it may print.
        {"another symbol family", bytes({0x1d, '(', 'k', 4, 0, 0x30, 0x41, 'X', 'Y'}) + store + print, 1, 0, true},
        {"wrong parameter count", bytes({0x1d, '(', 'k', 4, 0, 0x31, 0x43, 'X', 'Y'}) + store + print, 1, 0, true},
        {"length shorter than cn fn", bytes({0x1d, '(', 'k', 1, 0, 'X'}) + store + print, 1, 0, true},
        {"print with nothing stored", print, 0, 1, false},
        {"stored data cleared by ESC @", store + bytes({0x1b, '@'}) + print, 0, 1, false},
        {"model 1", bytes({0x1d, '(', 'k', 4, 0, 0x31, 0x41, 0x31, 0x00}) + store + print, 0, 1, false},
        {"module size 0 keeps the one before", bytes({0x1d, '(', 'k', 3, 0, 0x31, 0x43, 0}) + store + print, 0, 1, true},
        {"level outside L-H keeps the one before", bytes({0x1d, '(', 'k', 3, 0, 0x31, 0x45, 7}) + store + print, 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto receipts = render(c.stream + text("end\n"));
        ASSERT_EQ(receipts.size(), 1u);
        const auto& commands = receipts[0].commands;
        const auto errors = std::count_if(commands.begin(), commands.end(),
                                          [](const auto& k) { return k.kind == VirtualPrinter::Command::Kind::Error; });
        EXPECT_EQ(static_cast<std::size_t>(errors), c.errors) << dumpText(receipts[0]);
        EXPECT_EQ(receipts[0].warnings.size(), c.warnings) << dumpText(receipts[0]);
        // Only the closing line is text: nothing skipped leaked into the print.
        EXPECT_EQ(commands[commands.size() - 2].kind, VirtualPrinter::Command::Kind::Text);
        EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                                [](const auto& k) { return k.kind == VirtualPrinter::Command::Kind::Text; }), 1);
        EXPECT_EQ(Testing::readQrCodes(encodePng(receipts[0])).size(), c.scans ? 1u : 0u);
    }
}

}  // namespace
}  // namespace OrvikFramework
