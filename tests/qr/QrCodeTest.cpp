// QR codes as the printer's own symbol and as a picture: exact bytes, and both read back from the printed receipt.
#include <gtest/gtest.h>

#include <orvik/Orvik.h>

#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "support/ReadBack.h"
#include "support/Receipts.h"
#include "support/RecordingTcpSocket.h"

namespace OrvikFramework {
namespace {

using Testing::bytes;
using Testing::text;
using Testing::operator+;

using Printer = Testing::RecordingPrinter;

// What a reader makes of the first QR code on the receipt the bytes print: its text and error-correction level.
std::optional<std::pair<std::string, std::string>> readBack(const Data& job) {
    const auto receipts = Testing::printed(job);
    if (receipts.size() != 1 || !receipts[0].warnings.empty()) return std::nullopt;
    const VirtualPrinter::Receipt& r = receipts[0];
    const ZXing::Result result = Testing::readCode(r, ZXing::BarcodeFormat::QRCode);
    if (!result.isValid()) return std::nullopt;
    return std::pair{result.text(), result.ecLevel()};
}

TEST(QrCode, NativeCommandBytes) {
    Printer printer;
    EXPECT_EQ(printer.sdk.PrintQRCode("ORVIK", 4, QRErrorCorrection::Q), std::nullopt);
    ASSERT_EQ(printer.socket->pieces.size(), 1u);
    EXPECT_EQ(printer.sent(), bytes({0x1d, '(', 'k', 4, 0, 49, 65, 50, 0,     // model 2
                                     0x1d, '(', 'k', 3, 0, 49, 67, 4,         // module size
                                     0x1d, '(', 'k', 3, 0, 49, 69, 50,        // level Q
                                     0x1d, '(', 'k', 8, 0, 49, 80, 48}) +     // store
                                  text("ORVIK") + bytes({0x1d, '(', 'k', 3, 0, 49, 81, 48}));  // print
}

TEST(QrCode, NativeAndPictureFormsReadBackAtEveryLevel) {
    const std::string content = "https://orvik.example/r/1207?total=12.70&m=Grüße";
    for (const auto& [level, name] : std::vector<std::pair<QRErrorCorrection, std::string>>{
             {QRErrorCorrection::L, "L"}, {QRErrorCorrection::M, "M"}, {QRErrorCorrection::Q, "Q"}, {QRErrorCorrection::H, "H"}}) {
        for (const bool picture : {false, true}) {
            SCOPED_TRACE(name + (picture ? " picture" : " native"));
            Printer printer;
            printer.sdk.TextAlignment(ALIGNMENT::CENTER);
            const Status drawn =
                picture ? printer.sdk.PrintQRCodeImage(content, 3, level) : printer.sdk.PrintQRCode(content, 3, level);
            EXPECT_EQ(drawn, std::nullopt);
            EXPECT_EQ(printer.socket->pieces.at(1).at(1), picture ? 'v' : '(');  // GS v 0 or GS ( k
            EXPECT_EQ(readBack(printer.sent()), std::pair(content, name));
        }
    }
}

TEST(QrCode, WhatNoSymbolCanCarryIsRefusedWithALineAndNothingSent) {
    const std::string tooLongForH(1300, 'x');  // fits level L, not H
    struct Case {
        std::string content;
        std::uint8_t size;
        QRErrorCorrection level;
        std::string line;
    };
    const Case cases[] = {
        {"x", 0, QRErrorCorrection::M, "Orvik: QR module size 0 is outside 1-16 (QR code not sent)"},
        {"x", 17, QRErrorCorrection::M, "Orvik: QR module size 17 is outside 1-16 (QR code not sent)"},
        {"", 6, QRErrorCorrection::M, "Orvik: a QR code needs data (QR code not sent)"},
        {tooLongForH, 6, QRErrorCorrection::H,
         "Orvik: QR code data of 1300 bytes does not fit a symbol at this level (QR code not sent)"},
    };
    for (const Case& c : cases) {
        for (const bool picture : {false, true}) {
            SCOPED_TRACE(c.line);
            Printer printer;
            Testing::LogCapture log;
            const Status refused = picture ? printer.sdk.PrintQRCodeImage(c.content, c.size, c.level)
                                           : printer.sdk.PrintQRCode(c.content, c.size, c.level);
            EXPECT_EQ(refused->code, ErrorCode::InvalidArgument);
            EXPECT_EQ(log.lines(), std::vector<std::string>{c.line});
            EXPECT_TRUE(printer.socket->pieces.empty());
        }
    }
    Printer printer;
    EXPECT_EQ(printer.sdk.PrintQRCode(tooLongForH, 1, QRErrorCorrection::L), std::nullopt);
}

TEST(QrCode, VirtualPrinterSkipsBrokenFunctionsWholeAndWarnsOfWhatItDoesNotDraw) {
    const Data store = bytes({0x1d, '(', 'k', 5, 0, 49, 80, 48}) + text("OK");
    const Data print = bytes({0x1d, '(', 'k', 3, 0, 49, 81, 48});
    struct Case {
        std::string what;
        Data stream;
        std::size_t reports;  // Error and Unknown commands
        std::size_t warnings;
    };
    const std::vector<Case> cases = {
        // Skipped parameters that look like text must not print.
        {"another symbol family", bytes({0x1d, '(', 'k', 4, 0, 50, 65, 'X', 'Y'}) + store + print, 1, 0},
        {"length shorter than cn fn", bytes({0x1d, '(', 'k', 1, 0, 'X'}) + store + print, 1, 0},
        {"print with nothing stored", print, 0, 1},
        {"stored data cleared by ESC @", store + bytes({0x1b, '@'}) + print, 0, 1},
        {"model 1", bytes({0x1d, '(', 'k', 4, 0, 49, 65, 49, 0}) + store + print, 0, 1},
        {"module size 0, ignored", bytes({0x1d, '(', 'k', 3, 0, 49, 67, 0}) + store + print, 0, 1},
        {"level outside L-H, ignored", bytes({0x1d, '(', 'k', 3, 0, 49, 69, 7}) + store + print, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto receipts = Testing::printed(c.stream + text("end\n"));
        ASSERT_EQ(receipts.size(), 1u);
        const auto& commands = receipts[0].commands;
        const auto count = [&commands](auto... kinds) {
            return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(), [&](const auto& command) {
                return ((command.kind == kinds) || ...);
            }));
        };
        using K = VirtualPrinter::Command::Kind;
        EXPECT_EQ(count(K::Error, K::Unknown), c.reports) << dumpText(receipts[0]);
        EXPECT_EQ(receipts[0].warnings.size(), c.warnings) << dumpText(receipts[0]);
        EXPECT_EQ(count(K::Text), 1u) << dumpText(receipts[0]);
    }
    // An ignored setting keeps the one before it: the symbol still reads, at 3 dots a module.
    const auto receipts = Testing::printed(bytes({0x1d, '(', 'k', 3, 0, 49, 67, 0}) + store + print);
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_EQ(receipts[0].height, (21u + 8u) * 3u);  // version 1 in its quiet zone
}

}  // namespace
}  // namespace OrvikFramework
