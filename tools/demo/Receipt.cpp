#include "Receipt.h"

#include <orvik/OrvikFramework.h>

namespace OrvikFramework::Demo {

void printReceipt(Orvik& printer) {
    printer.InitPrinter();
    printer.TextAlignment(ALIGNMENT::CENTER);
    printer.PrintBMPFile("logo.bmp");
    printer.PrintMode(PRINT_MODE__EMPHASIZED_SELECTED | PRINT_MODE__DOUBLE_HEIGHT_SELECTED | PRINT_MODE__DOUBLE_WIDTH_SELECTED);
    printer.PrintText("ORVIK CAFE");
    printer.PrintMode(0);
    printer.PrintText("12 Harbour Street");
    printer.PrintNFeedPaper(24);
    printer.TextAlignment(ALIGNMENT::LEFT);
    printer.PrintText("Flat white x2              7.00");
    printer.PrintText("Cinnamon bun               3.50");
    printer.PrintText("Sparkling water            2.20");
    printer.PrintText("--------------------------------");
    printer.PrintMode(PRINT_MODE__EMPHASIZED_SELECTED);
    printer.PrintText("TOTAL                     12.70");
    printer.PrintMode(0);
    printer.PrintText("Card                      12.70");
    printer.PrintNFeedPaper(24);
    printer.TextAlignment(ALIGNMENT::CENTER);
    printer.PrintBarcode(BARCODE_HRI_POS::BENEATH, 60, 2, "ORV-1207");
    printer.PrintText("Thank you!");
    printer.PrintNFeedPaper(80);
    printer.CutPaper();
}

}  // namespace OrvikFramework::Demo
