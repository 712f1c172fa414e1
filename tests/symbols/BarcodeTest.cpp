// Barcodes and PDF417: the printer's command bytes, what a reader makes of the printed receipt in both the native
// and the picture form, and the data each symbology refuses.
#include <gtest/gtest.h>

#include <tuple>

#include <orvik/Orvik.h>
#include "support/Bytes.h"
#include "support/ReadBack.h"
#include "support/Receipts.h"
#include "support/RecordingTcpSocket.h"

namespace OrvikFramework {
namespace {

using Testing::bytes;
using Testing::text;
using Testing::operator+;
using Printer = Testing::RecordingPrinter;

// What a reader makes of the one barcode on the receipt the bytes print: its format and text.
std::string readBack(const Data& job) {
    const auto receipts = Testing::printed(job, {.paperDots = 576});
    if (receipts.size() != 1) return "receipts: " + std::to_string(receipts.size());
    const VirtualPrinter::Receipt& r = receipts[0];
    if (!r.warnings.empty()) return "warning: " + r.warnings[0];
    const ZXing::Result result = Testing::readCode(r);
    if (!result.isValid()) return "unread";
    // "]C1" marks the FNC1 that makes CODE128 GS1-128.
    return std::string(ZXing::ToString(result.format())) + (result.symbologyIdentifier() == "]C1" ? " GS1 " : " ") +
           result.text();
}

struct Symbol {
    Symbology symbology;
    std::string data;
    std::string printerData;  // after GS k m n
    std::uint8_t m;
    std::string read;
};

const std::vector<Symbol> symbols = {
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
    {Symbology::Gs1_128, "(01)09501101530003(17)250101", std::string("{C{1\x01\x09\x32\x0B\x01\x35\x00\x03\x11\x19\x01\x01", 16), 73,
     "Code128 GS1 010950110153000317250101"},
};

TEST(Barcode, NativeBytesAndBothFormsReadBack) {
    for (const Symbol& s : symbols) {
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
    EXPECT_EQ(readBack(native.sent()), "PDF417 " + data);
    EXPECT_EQ(readBack(picture.sent()), "PDF417 " + data);
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

}  // namespace
}  // namespace OrvikFramework
