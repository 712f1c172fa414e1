// Barcodes, PDF417 and QR codes: the printer's command bytes, what a reader makes of the printed receipt in both the
// native and the picture form, and the data each symbology refuses.
#include <gtest/gtest.h>

#include <tuple>

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

// What a reader makes of the one code on the receipt the bytes print: its format, text and error-correction level.
std::string readBack(const Data& job) {
    const auto receipts = Testing::printed(job, {.paperDots = 576});
    if (receipts.size() != 1) return "receipts: " + std::to_string(receipts.size());
    const VirtualPrinter::Receipt& r = receipts[0];
    if (!r.warnings.empty()) return "warning: " + r.warnings[0];
    const ZXing::Result result = ZXing::ReadBarcode(Testing::pictureOf(r));
    if (!result.isValid()) return "unread";
    // "]C1" marks the FNC1 that makes CODE128 GS1-128.
    return std::string(ZXing::ToString(result.format())) + (result.symbologyIdentifier() == "]C1" ? " GS1 " : " ") +
           result.text() + (result.ecLevel().empty() ? "" : " (level " + result.ecLevel() + ")");
}

TEST(Barcode, NativeBytesAndBothFormsReadBack) {
    const struct {
        Symbology symbology;
        std::string data;
        std::string printerData;  // after GS k m n
        std::uint8_t m;
        std::string read;
    } symbols[] = {
        {Symbology::UpcA, "01234567890", "012345678905", 65, "UPC-A 012345678905"},
        {Symbology::UpcE, "0123456", "01234565", 66, "UPC-E 01234565"},
        {Symbology::Ean13, "400638133393", "4006381333931", 67, "EAN-13 4006381333931"},
        {Symbology::Ean8, "96385074", "96385074", 68, "EAN-8 96385074"},
        {Symbology::Code39, "ORVIK-42", "ORVIK-42", 69, "Code39 ORVIK-42"},
        {Symbology::Itf, "12345678", "12345678", 70, "ITF 12345678"},
        {Symbology::Codabar, "A40156B", "A40156B", 71, "Codabar 40156"},
        {Symbology::Code93, "Orvik 93", "Orvik 93", 72, "Code93 Orvik 93"},
        {Symbology::Code128, "Receipt 0012345678", std::string("{BReceipt {C\x00\x0C\x22\x38\x4E", 17), 73,
         "Code128 Receipt 0012345678"},
        {Symbology::Gs1_128, "(01)09501101530003(17)250101",
         std::string("{C{1\x01\x09\x32\x0B\x01\x35\x00\x03\x11\x19\x01\x01", 16), 73, "Code128 GS1 010950110153000317250101"},
    };
    for (const auto& s : symbols) {
        SCOPED_TRACE(s.data);
        Printer native, picture;
        native.sdk.TextAlignment(ALIGNMENT::CENTER);
        picture.sdk.TextAlignment(ALIGNMENT::CENTER);
        ASSERT_EQ(native.sdk.PrintBarcode(s.symbology, s.data), std::nullopt);
        ASSERT_EQ(picture.sdk.PrintBarcodeImage(s.symbology, s.data), std::nullopt);
        EXPECT_EQ(native.socket->pieces.at(1),
                  bytes({0x1d, 'H', 2, 0x1d, 'f', 0, 0x1d, 'h', 80, 0x1d, 'w', 2, 0x1d, 'k', s.m,
                         static_cast<std::uint8_t>(s.printerData.size())}) + text(s.printerData));
        EXPECT_EQ(readBack(native.sent()), s.read) << "native";
        EXPECT_EQ(readBack(picture.sent()), s.read) << "picture";
    }
}

// The printer's own forms of GS k, as other programs send them: function A ends the data with a NUL, code set C
// takes each digit pair as one byte, and EAN-13 and UPC-A get their check digit added. The data a symbology refuses
// is reported as the SDK refuses it (DataASymbologyCannotCarryIsRefusedAndNothingSent has every rule).
TEST(Barcode, EveryCommandFormReadsBackOrIsReported) {
    const std::pair<Data, std::string> cases[] = {
        {text("\x1Dk\x04" "CODE-39") + Data{0}, "Code39 CODE-39"},
        {text("\x1Dk\x45\x05" "A1$/%"), "Code39 A1$/%"},
        {text("\x1Dk\x49\x0D{BOrvik {C\x0C\x22\x38"), "Code128 Orvik 123456"},
        {text("\x1Dk\x49\x08{Ba~ Z?!"), "Code128 a~ Z?!"},
        {text("\x1Dk\x02" "400638133393") + Data{0}, "EAN-13 4006381333931"},
        {text("\x1Dk\x43\x0D" "9780201379624"), "EAN-13 9780201379624"},
        {Data{0x1D, 'k', 0x00} + text("03600029145") + Data{0}, "UPC-A 036000291452"},
        {text("\x1Dk\x43\x0D" "9780201379625"), "warning: EAN13 check digit of \"9780201379625\" should be 4"},
        {text("\x1Dk\x49\x03{C\x64"), "warning: CODE128 code set C byte 100 is not 0-99"},
    };
    for (const auto& [command, read] : cases) EXPECT_EQ(readBack(text("\x1DH\x02\x1Dh\x50\x1Dw\x02") + command), read);
}

TEST(Barcode, Pdf417NativeBytesAndBothFormsReadBack) {
    const std::string data = "ORVIK receipt 1207, total 12.70";
    const Pdf417Options options{.columns = 4, .errorLevel = 2};
    Printer native, picture;
    ASSERT_EQ(native.sdk.PrintPdf417(data, options), std::nullopt);
    ASSERT_EQ(picture.sdk.PrintPdf417Image(data, options), std::nullopt);
    EXPECT_EQ(native.sent(), bytes({0x1d, '(', 'k', 3, 0, 48, 65, 4, 0x1d, '(', 'k', 3, 0, 48, 66, 0,  // columns, rows
                                    0x1d, '(', 'k', 3, 0, 48, 67, 3, 0x1d, '(', 'k', 3, 0, 48, 68, 3,  // module, row
                                    0x1d, '(', 'k', 4, 0, 48, 69, 48, 50,                              // level 2
                                    0x1d, '(', 'k', 34, 0, 48, 80, 48}) +
                                 text(data) + bytes({0x1d, '(', 'k', 3, 0, 48, 81, 48}));
    EXPECT_EQ(readBack(native.sent()), "PDF417 " + data + " (level 2)");
    EXPECT_EQ(readBack(picture.sent()), "PDF417 " + data + " (level 2)");
}

TEST(Barcode, DataASymbologyCannotCarryIsRefusedAndNothingSent) {
    const std::vector<std::tuple<Symbology, std::string, std::string>> cases = {
        {Symbology::UpcA, "0123456789", "UPC-A takes 11 digits, or 12 with the check digit"},
        {Symbology::UpcA, "012345678901", "UPC-A check digit of \"012345678901\" should be 5"},
        {Symbology::UpcE, "2123456", "UPC-E number system must be 0 or 1"},
        {Symbology::Ean13, "40063813339A", "EAN13 takes 12 digits, or 13 with the check digit"},
        {Symbology::Ean8, "96385070", "EAN8 check digit of \"96385070\" should be 4"},
        {Symbology::Code39, "orvik", "CODE39 cannot carry 'o'; it takes 0-9, A-Z, space and - . $ / + %"},
        {Symbology::Itf, "123", "ITF takes an even number of digits"},
        {Symbology::Codabar, "40156", "CODABAR data must begin and end with a start/stop character A, B, C or D"},
        {Symbology::Code93, "Grüße", "CODE93 carries ASCII only"},
        {Symbology::Code128, "", "CODE128 needs data"},
        {Symbology::Code128, std::string(300, 'x'), "CODE128 data is longer than 255 bytes"},
        {Symbology::Gs1_128, "0109501101530003", "GS1-128 data must be application identifiers in parentheses, "
                                                 "each followed by its value, e.g. (01)09501101530003(17)250101"},
        {Symbology::Gs1_128, "(01)09501101530004", "GS1-128 (01) check digit should be 3"},
        {Symbology::Gs1_128, "(17)2501", "GS1-128 (17) takes exactly 6 digits"},
        {Symbology::Gs1_128, "(23)x", "GS1-128 application identifier (23) is not known"},
    };
    for (const auto& [symbology, data, message] : cases) {
        for (const bool picture : {false, true}) {
            SCOPED_TRACE(message);
            Printer printer;
            const Status status = picture ? printer.sdk.PrintBarcodeImage(symbology, data)
                                          : printer.sdk.PrintBarcode(symbology, data);
            EXPECT_EQ(status, (Error{ErrorCode::InvalidArgument, message}));
            EXPECT_TRUE(printer.socket->pieces.empty());
        }
    }
    Printer printer;
    EXPECT_EQ(printer.sdk.PrintBarcode(Symbology::Code39, "X", {.moduleWidth = 7}),
              (Error{ErrorCode::InvalidArgument, "barcode module width 7 is outside 1-6"}));
    EXPECT_EQ(printer.sdk.PrintPdf417("x", {.errorLevel = 9}),
              (Error{ErrorCode::InvalidArgument, "PDF417 error level 9 is outside 0-8"}));
    EXPECT_EQ(printer.sdk.PrintPdf417(std::string(2000, 'x'), {}).value_or(Error{}).code, ErrorCode::InvalidArgument);
    EXPECT_TRUE(printer.socket->pieces.empty());
}

TEST(QrCode, NativeBytesAndBothFormsReadBackAtEveryLevel) {
    const std::string content = "https://orvik.example/r/1207?total=12.70&m=Grüße";  // 50 bytes
    for (const auto& [level, name, byte] : std::vector<std::tuple<QRErrorCorrection, std::string, std::uint8_t>>{
             {QRErrorCorrection::L, "L", 48}, {QRErrorCorrection::M, "M", 49}, {QRErrorCorrection::Q, "Q", 50},
             {QRErrorCorrection::H, "H", 51}}) {
        SCOPED_TRACE(name);
        Printer native, picture;
        native.sdk.TextAlignment(ALIGNMENT::CENTER);
        picture.sdk.TextAlignment(ALIGNMENT::CENTER);
        EXPECT_EQ(native.sdk.PrintQRCode(content, 3, level), std::nullopt);
        EXPECT_EQ(picture.sdk.PrintQRCodeImage(content, 3, level), std::nullopt);
        ASSERT_EQ(native.socket->pieces.size(), 2u);
        EXPECT_EQ(native.socket->pieces[1], bytes({0x1d, '(', 'k', 4, 0, 49, 65, 50, 0,  // model 2
                                                   0x1d, '(', 'k', 3, 0, 49, 67, 3,      // module size
                                                   0x1d, '(', 'k', 3, 0, 49, 69, byte,   // level
                                                   0x1d, '(', 'k', 53, 0, 49, 80, 48}) +  // store
                                                text(content) + bytes({0x1d, '(', 'k', 3, 0, 49, 81, 48}));  // print
        EXPECT_EQ(picture.socket->pieces.at(1).at(1), 'v');  // GS v 0
        EXPECT_EQ(readBack(native.sent()), "QRCode " + content + " (level " + name + ")");
        EXPECT_EQ(readBack(picture.sent()), "QRCode " + content + " (level " + name + ")");
    }
}

TEST(QrCode, WhatNoSymbolCanCarryIsRefusedWithALineAndNothingSent) {
    const std::string tooLongForH(1300, 'x');  // fits level L, not H
    const std::tuple<std::string, std::uint8_t, QRErrorCorrection, std::string> cases[] = {
        {"x", 0, QRErrorCorrection::M, "Orvik: QR module size 0 is outside 1-16 (QR code not sent)"},
        {"x", 17, QRErrorCorrection::M, "Orvik: QR module size 17 is outside 1-16 (QR code not sent)"},
        {"", 6, QRErrorCorrection::M, "Orvik: a QR code needs data (QR code not sent)"},
        {tooLongForH, 6, QRErrorCorrection::H,
         "Orvik: QR code data of 1300 bytes does not fit a symbol at this level (QR code not sent)"},
    };
    for (const auto& [content, size, level, line] : cases) {
        for (const bool picture : {false, true}) {
            SCOPED_TRACE(line);
            Printer printer;
            Testing::LogCapture log;
            const Status refused = picture ? printer.sdk.PrintQRCodeImage(content, size, level)
                                           : printer.sdk.PrintQRCode(content, size, level);
            EXPECT_EQ(refused->code, ErrorCode::InvalidArgument);
            EXPECT_EQ(log.lines(), std::vector<std::string>{line});
            EXPECT_TRUE(printer.socket->pieces.empty());
        }
    }
    Printer printer;
    EXPECT_EQ(printer.sdk.PrintQRCode(tooLongForH, 1, QRErrorCorrection::L), std::nullopt);
}

TEST(QrCode, VirtualPrinterSkipsBrokenFunctionsWholeAndWarnsOfWhatItDoesNotDraw) {
    const Data store = bytes({0x1d, '(', 'k', 5, 0, 49, 80, 48}) + text("OK");
    const Data print = bytes({0x1d, '(', 'k', 3, 0, 49, 81, 48});
    // What, the stream, the Error and Unknown commands reported, the warnings.
    const std::tuple<std::string, Data, std::size_t, std::size_t> cases[] = {
        // Skipped parameters that look like text must not print.
        {"another symbol family", bytes({0x1d, '(', 'k', 4, 0, 50, 65, 'X', 'Y'}) + store + print, 1, 0},
        {"length shorter than cn fn", bytes({0x1d, '(', 'k', 1, 0, 'X'}) + store + print, 1, 0},
        {"print with nothing stored", print, 0, 1},
        {"stored data cleared by ESC @", store + bytes({0x1b, '@'}) + print, 0, 1},
        {"model 1", bytes({0x1d, '(', 'k', 4, 0, 49, 65, 49, 0}) + store + print, 0, 1},
        {"module size 0, ignored", bytes({0x1d, '(', 'k', 3, 0, 49, 67, 0}) + store + print, 0, 1},
        {"level outside L-H, ignored", bytes({0x1d, '(', 'k', 3, 0, 49, 69, 7}) + store + print, 0, 1},
    };
    for (const auto& [what, stream, reports, warnings] : cases) {
        SCOPED_TRACE(what);
        const auto receipts = Testing::printed(stream + text("end\n"));
        ASSERT_EQ(receipts.size(), 1u);
        using K = VirtualPrinter::Command::Kind;
        std::size_t reported = 0, texts = 0;
        for (const auto& command : receipts[0].commands) {
            reported += command.kind == K::Error || command.kind == K::Unknown;
            texts += command.kind == K::Text;
        }
        SCOPED_TRACE(dumpText(receipts[0]));
        EXPECT_EQ(reported, reports);
        EXPECT_EQ(receipts[0].warnings.size(), warnings);
        EXPECT_EQ(texts, 1u);
    }
    // An ignored setting keeps the one before it: the symbol still reads, at 3 dots a module.
    const auto receipts = Testing::printed(bytes({0x1d, '(', 'k', 3, 0, 49, 67, 0}) + store + print);
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_EQ(receipts[0].height, (21u + 8u) * 3u);  // version 1 in its quiet zone
}

}  // namespace
}  // namespace OrvikFramework
