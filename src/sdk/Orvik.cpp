#include <orvik/Orvik.h>

#include <orvik/Log.h>

#include "core/Commands.h"
#include "core/PrinterService.h"
#include "platform/posix/DeviceLink.h"

namespace OrvikFramework {
namespace {

BluetoothUUID uuid(std::string_view text) { return *BluetoothUUID::parse(text); }

}  // namespace

Orvik::Orvik()
    : BLESemaphore(std::make_shared<std::counting_semaphore<>>(1)),
      ServiceUUID(uuid(PrinterService::service)),
      RXCharacteristicUUID(uuid(PrinterService::rx)),
      TXCharacteristicUUID(uuid(PrinterService::tx)) {}

// The destination of one command, decided once before its first piece.
std::optional<Orvik::Route> Orvik::chooseRoute() {
    // Every command is spooled while spooling is on, so a spooled job is the same byte stream as a live one.
    if (bZip) return Route::SpoolFile;
    if (device_) return Route::Device;
    if (!InterfaceType) {
        Log::plain("Orvik: no interface chosen; call InitSDK before sending commands (command not sent)");
        return std::nullopt;
    }
    return *InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH ? Route::Bluetooth : Route::Tcp;
}

void Orvik::deliver(Route route, const Data& piece) {
    switch (route) {
        case Route::SpoolFile:
            if (WriteToFile(piece)) accepted(piece.size());
            else failed({ErrorCode::FileError, "the spool file " + ZipFile + " could not be written"});
            break;
        case Route::Bluetooth: BLESend(piece); break;
        case Route::Tcp: {
            // Looked up for every piece: a piece is dropped when there is no connection at that moment.
            const std::shared_ptr<TcpSocket> device = TCPDevice;
            if (!device) {
                failed({ErrorCode::NotConnected, "not connected to the printer; call Connect first"});
                break;
            }
            const std::uint64_t before = device->bytesWritten();
            const std::int64_t written = device->SendData(piece);
            if (written >= 0) {
                accepted(static_cast<std::uint64_t>(written));
            } else {
                accepted(device->bytesWritten() - before);
                failed(device->lastError().value_or(Error{ErrorCode::WriteFailed, "the connection did not take the bytes"}));
            }
            break;
        }
        case Route::Device:
            if (const Status failure = device_->write(piece, deviceTimeout_, [this](std::size_t bytes) { accepted(bytes); }))
                failed(*failure);
            break;
    }
}

bool Orvik::routeCommand(const Data& piece) {
    const auto route = chooseRoute();
    if (route) deliver(*route, piece);
    return route.has_value();
}

Error Orvik::noInterface() { return {ErrorCode::NotConnected, "no interface chosen; call InitSDK first"}; }

void Orvik::InitPrinter() {
    routeCommand(Commands::initPrinter());
    // The printer is back on its default page, so code-page text must not go on converting to the old one.
    SelectedCodePage.reset();
}
void Orvik::TextAlignment(ALIGNMENT Alignment) { routeCommand(Commands::textAlignment(rawValue(Alignment))); }
void Orvik::PrintMode(std::uint8_t Mode) { routeCommand(Commands::printMode(Mode)); }
void Orvik::PrintData(const Data& Data) { routeCommand(Data); }
void Orvik::PrintText(std::string_view Text) { routeCommand(Commands::textLine(Text)); }
void Orvik::PrintTextln(const Data& Data) { routeCommand(Commands::dataLine(Data)); }
void Orvik::PrintText(const Data& Data) { routeCommand(Commands::withoutLastByte(Data)); }
void Orvik::PrintNFeedPaper(std::uint8_t feed) { routeCommand(Commands::feedPaper(feed)); }
void Orvik::CutPaper() { routeCommand(Commands::cutPaper()); }
void Orvik::SelectCutMode_N_CutPaper(std::uint8_t m, std::uint8_t n) { routeCommand(Commands::selectCutMode(m, n)); }

void Orvik::PrintBarcode(BARCODE_HRI_POS POS, std::uint8_t HEIGHT, std::uint8_t WIDTH, std::string_view BARCODE) {
    const auto route = chooseRoute();
    if (!route) return;
    const auto pieces = Commands::barcode(rawValue(POS), HEIGHT, WIDTH, BARCODE);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        // The barcode-system header goes through PrintData, so it follows that command's routing.
        if (i == Commands::barcodeHeaderPiece) {
            PrintData(pieces[i]);
        } else {
            deliver(*route, pieces[i]);
        }
    }
}

void Orvik::PrintRasterBitImage(std::uint8_t m, std::uint8_t xL, std::uint8_t xH, std::uint8_t yL, std::uint8_t yH,
                                const Data& imageData) {
    const auto route = chooseRoute();
    if (!route) return;
    deliver(*route, Commands::rasterHeader(m, xL, xH, yL, yH));
    deliver(*route, imageData);
}

}  // namespace OrvikFramework
