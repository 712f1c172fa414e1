#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>
#include <string_view>
#include <vector>

#include <orvik/Barcode.h>
#include <orvik/BitImage.h>
#include <orvik/Bluetooth.h>
#include <orvik/BLEPeripheral.h>
#include <orvik/BluetoothUUID.h>
#include <orvik/CodePage.h>
#include <orvik/Data.h>
#include <orvik/Enums.h>
#include <orvik/Error.h>
#include <orvik/Hotspot.h>
#include <orvik/Image.h>
#include <orvik/ImageConversion.h>
#include <orvik/JobOutcome.h>
#include <orvik/Observer.h>
#include <orvik/PrinterStatus.h>
#include <orvik/Profile.h>
#include <orvik/QRCode.h>
#include <orvik/TcpSocket.h>

namespace OrvikFramework {

namespace Files {
class HeldFile;
}
class DeviceLink;

/// The SDK object: link settings and state as public properties, one operation per printer command.
class Orvik : public CentralManagerDelegate, public PeripheralDelegate {
public:
    Orvik();
    virtual ~Orvik();
    Orvik(const Orvik&) = delete;
    Orvik& operator=(const Orvik&) = delete;

    std::int64_t nValue = 0;
    bool bConnect = false;
    bool bZip = false;
    std::string ZipFile;
    std::optional<WIRELESSS_INTERFACE> InterfaceType;
    std::string ConnectTo;
    std::string Password;
    const std::shared_ptr<std::counting_semaphore<>> BLESemaphore;
    std::shared_ptr<CentralManager> BLEManager;
    std::shared_ptr<BLEPeripheral> BLEDevice;
    std::shared_ptr<Peripheral> ConnectedBLEDevice;
    std::int64_t MTU = 512;
    const BluetoothUUID ServiceUUID;
    const BluetoothUUID RXCharacteristicUUID;
    const BluetoothUUID TXCharacteristicUUID;
    std::shared_ptr<Characteristic> RXCharacteristic;
    std::shared_ptr<Characteristic> TXCharacteristic;
    std::optional<Data> RecevedData;
    std::optional<HotspotConfiguration> WiFiConfiguration;
    std::shared_ptr<TcpSocket> TCPDevice;

    /// Appends the buffer to the spool file `ZipFile`, creating it if absent; false when that fails, and an
    /// existing file that cannot be written keeps its content.
    virtual bool WriteToFile(const Data& data);
    /// true: spooling on, the spool file in the Documents directory starts afresh. false: spooling off, the
    /// spooled job goes out gzip-compressed over Bluetooth, whatever the link.
    virtual void Zip(bool Enable);
    /// Sends a file of printer commands from the Documents directory: gzip-compressed over Bluetooth (always;
    /// `bCompress` is not consulted), unchanged over TCP. false when the file cannot be read or sent.
    virtual bool PrintFile(std::string_view ImageFileName, bool bCompress);
    /// Has no effect; true.
    virtual bool PrintFile(bool bCompress);

    /// Renders a decoded picture into an RGBA bitmap; absent when that fails.
    virtual std::optional<RenderedBitmap> convertCIImageToCGImage(const DecodedImage& inputImage);
    /// Reads a 1-bit BMP from the Documents directory into raster rows, top row first, 1 bits printing.
    virtual BMPLoadResult LoadBMPFile(std::string_view ImageFile);
    /// Prints a 1-bit BMP from the Documents directory in 5-row bands through PrintData; false when it cannot.
    virtual bool PrintBMPFile(std::string_view ImageFile);
    /// Prints a 1-bit BMP from the Documents directory in 64-row bands through PrintRasterBitImage.
    virtual void PrintReceiptImageFile(std::string_view ImageFileName);

    /// ESC @: initialise the printer.
    virtual void InitPrinter();
    /// ESC a n: justification.
    virtual void TextAlignment(ALIGNMENT Alignment);
    /// ESC ! n: print mode, the PRINT_MODE__ bits ORed together.
    virtual void PrintMode(std::uint8_t Mode);
    /// The caller's bytes unchanged.
    virtual void PrintData(const Data& Data);
    /// The text in UTF-8, then CR LF.
    virtual void PrintText(std::string_view Text);
    /// The buffer without its last byte, then CR LF.
    virtual void PrintTextln(const Data& Data);
    /// The buffer without its last byte.
    virtual void PrintText(const Data& Data);
    /// ESC J n: print and feed n motion units.
    virtual void PrintNFeedPaper(std::uint8_t feed);
    /// ESC m: partial cut.
    virtual void CutPaper();
    /// GS H, GS h, GS w, GS k 4 (CODE39) and the barcode text with its NUL end and CR LF, as five pieces.
    virtual void PrintBarcode(BARCODE_HRI_POS POS, std::uint8_t HEIGHT, std::uint8_t WIDTH, std::string_view BARCODE);
    /// GS v 0 m xL xH yL yH, then the image bytes, as two pieces.
    virtual void PrintRasterBitImage(std::uint8_t m, std::uint8_t xL, std::uint8_t xH, std::uint8_t yL, std::uint8_t yH,
                                     const Data& imageData);
    /// GS V: cut with mode m (and feed n unless m is 102).
    virtual void SelectCutMode_N_CutPaper(std::uint8_t m, std::uint8_t n = 0);

    /// Records the link settings and prepares the link: a central manager and scan, a Wi-Fi join, or nothing.
    virtual void InitSDK(WIRELESSS_INTERFACE InterfaceType, std::int64_t MTU, std::string_view ConnectTo,
                         std::string_view Password);
    /// Requests the connection (TCP to IP:Port, or the scanned printer); false when there is nothing to connect.
    virtual bool Connect(std::string_view IP, std::int64_t Port);
    /// Drops the link once everything already handed to it is written.
    virtual void Disconnect();
    /// Opens the link `address` names (see <orvik/PrinterAddress.h>), closing the current one. tcp, wifi and ble
    /// do what InitSDK and Connect do, the Wi-Fi join and the Bluetooth scan going on after it returns, their
    /// result reaching the observer and the next wait. usb, serial and file open the device or create the file
    /// now, and commands then go to it; `timeout` bounds each wait for a device to take bytes.
    /// InvalidArgument for a bad address; the device's or file's error when it cannot be opened.
    Status Open(std::string_view address, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Starts a scan that reports every advertisement, when the radio is on.
    virtual void BLEDeviceScanStart();
    virtual void BLEDeviceScanStop();
    /// Runs the main run loop until the link has taken everything handed to it since the last wait, at most
    /// `timeout`. True only when every byte was accepted by the link; otherwise the first error (refused,
    /// unresolvable, reset or never-opened connection, refused or failed write, lost link, unwritable spool,
    /// time-out). Either way the job is over: the next one starts with no error and no bytes. A TCP connection
    /// that failed stays failed, so every later wait reports its error again until the next Connect.
    JobOutcome WaitUntilSent(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    /// WaitUntilSent, then the printer's status over the same link: true only when every byte was sent and the
    /// printer reports that it can print; otherwise the send error, NoStatus, or PrinterNotReady naming the
    /// condition. The status requests do not count toward the next job.
    JobOutcome ConfirmPrinted(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void setObserver(std::shared_ptr<OrvikObserver> observer);

    void centralManagerDidUpdateState(CentralManager& central) override;
    void centralManagerDidDiscover(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                   const AdvertisementData& advertisementData, double RSSI) override;
    void centralManagerDidConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral) override;
    void centralManagerDidDisconnectPeripheral(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                               const std::optional<PlatformError>& error) override;
    void centralManagerDidFailToConnect(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                                        const std::optional<PlatformError>& error) override;
    void peripheralDidDiscoverServices(Peripheral& peripheral, const std::optional<PlatformError>& error) override;
    void peripheralDidDiscoverCharacteristicsFor(Peripheral& peripheral, const std::shared_ptr<Service>& service,
                                                 const std::optional<PlatformError>& error) override;
    void peripheralDidUpdateValueFor(Peripheral& peripheral, const std::shared_ptr<Characteristic>& characteristic,
                                     const std::optional<PlatformError>& error) override;
    void peripheralDidWriteValueFor(Peripheral& peripheral, const std::shared_ptr<Characteristic>& characteristic,
                                    const std::optional<PlatformError>& error) override;

    /// Writes the buffer to the RX characteristic in MTU-byte pieces, a gzip buffer after its size announcement.
    virtual void BLESend(const Data& data);
    /// One write of the whole buffer to the RX characteristic.
    virtual void BLESend(const Data& data, CharacteristicWriteType withType);
    /// Writes the text in pieces of MTU user-perceived characters.
    virtual void BLESend(std::string_view text);
    /// One write of the text's UTF-8 bytes to the RX characteristic.
    virtual void BLESend(std::string_view text, CharacteristicWriteType withType);

    /// Asks the printer over the current link for its real-time status (DLE EOT 1 to 4), waiting at most `timeout`
    /// for each answer; absent, with a log line saying why, when it cannot be asked, is silent or answers nonsense.
    /// Not while spooling: a status cannot be spooled.
    std::optional<PrinterStatus> RequestStatus(std::chrono::milliseconds timeout = std::chrono::seconds(2));
    /// The same without log lines: the status, or why there is none (NotConnected, InvalidArgument while
    /// spooling, NoStatus for silence or nonsense, LinkLost, or the send error).
    Result<PrinterStatus> ReadStatus(std::chrono::milliseconds timeout = std::chrono::seconds(2));

    /// GS ( k: the printer draws a model 2 QR code of `Content` with `ModuleSize`-dot modules (1-16) at `Level`.
    /// InvalidArgument, with a log line and nothing sent, when the size is out of range or the content fits no
    /// symbol; NotConnected when no interface is chosen.
    virtual Status PrintQRCode(std::string_view Content, std::uint8_t ModuleSize = 6,
                             QRErrorCorrection Level = QRErrorCorrection::M);
    /// The same symbol drawn here and sent as one GS v 0 picture, for printers without the symbol command.
    virtual Status PrintQRCodeImage(std::string_view Content, std::uint8_t ModuleSize = 6,
                                  QRErrorCorrection Level = QRErrorCorrection::M);

    /// The code page PrintCodePageText converts to, as last selected with SelectCodePage; absent: UTF-8.
    /// InitPrinter clears it, as ESC @ returns the printer to its default page.
    std::optional<CodePage> SelectedCodePage;
    /// Switches the printer to `page` (ESC t n, or a multi-byte page's mode command; see <orvik/CodePage.h>).
    /// Nothing changes, and NotConnected is returned, when no interface is chosen.
    virtual Status SelectCodePage(CodePage page);
    /// The text converted from UTF-8 to SelectedCodePage, then CR LF. Returns how many characters the page lacks
    /// or invalid UTF-8 bytes were printed as "?"; NotConnected when no interface is chosen.
    virtual Result<std::int64_t> PrintCodePageText(std::string_view Text);

    /// GS H, GS f, GS h, GS w, then GS k: a barcode the printer draws, check digit completed and CODE128 code sets
    /// chosen here. InvalidArgument, nothing sent, for data the symbology cannot carry or options out of range;
    /// NotConnected when there is no link.
    Status PrintBarcode(Symbology symbology, std::string_view data, const BarcodeOptions& options = {});
    /// The same barcode drawn here and sent as one GS v 0 picture, for printers without the symbology.
    Status PrintBarcodeImage(Symbology symbology, std::string_view data, const BarcodeOptions& options = {});
    /// GS ( k: a PDF417 symbol the printer draws; refused like PrintBarcode.
    Status PrintPdf417(std::string_view data, const Pdf417Options& options = {});
    /// The same symbol drawn here and sent as one GS v 0 picture.
    Status PrintPdf417Image(std::string_view data, const Pdf417Options& options = {});
    /// ESC p: opens the cash drawer on connector pin 2 or 5 with a pulse on `onTime` and off `offTime` 2-ms units.
    Status OpenCashDrawer(std::uint8_t pin = 2, std::uint8_t onTime = 25, std::uint8_t offTime = 250);
    /// ESC B: `times` beeps (1-9) of `duration` (1-9) times 100 ms.
    Status Beep(std::uint8_t times = 1, std::uint8_t duration = 1);
    /// GS !: characters `width` and `height` times their size, each 1-8.
    Status SetTextSize(std::uint8_t width, std::uint8_t height);
    /// GS B: white on black text, or back to black on white.
    Status SetInvert(bool on);
    /// ESC {: text printed upside down, or upright again.
    Status SetUpsideDown(bool on);
    /// ESC 3 n: `dots` between lines; absent: ESC 2, the default spacing.
    Status SetLineSpacing(std::optional<std::uint8_t> dots);
    /// ESC D: tab stops at these character columns (1-255, ascending, at most 32); none clears them.
    Status SetTabStops(const std::vector<std::uint8_t>& columns);
    /// HT: moves to the next tab stop.
    Status Tab();
    /// The picture in the chosen command; InvalidArgument for an empty or malformed picture.
    Status PrintBitmap(const MonoBitmap& picture, ImageMode mode = ImageMode::Raster);
    /// A PNG, JPEG, GIF or BMP file converted as convertPictureFile does and printed in `options.mode`, in bands
    /// small printers can buffer; the conversion's error, nothing sent, when it cannot be used.
    Status PrintPicture(const std::string& path, const PictureOptions& options = {});
    /// The same for a picture file's bytes held in memory.
    Status PrintPicture(const Data& encoded, const PictureOptions& options = {});
    /// A picture already in dots, printed in `mode` in the same bands; InvalidArgument, nothing sent, for an empty
    /// or malformed one.
    Status PrintPicture(const MonoBitmap& picture, ImageMode mode = ImageMode::Raster);

    /// The printer model the document and layout operations write for: line width, code pages, and whether
    /// codes, pictures and cuts are the printer's own commands or drawn here. The operations above ignore it.
    PrinterProfile Profile = defaultProfile();
    /// The text in the code pages of Profile, switching per run of characters to a page that has them (ESC t, or
    /// FS & for a multi-byte page), then CR LF; SelectedCodePage follows. Returns how many characters no page has
    /// (printed as "?"); NotConnected when no interface is chosen.
    Result<std::int64_t> PrintProfileText(std::string_view Text);
    /// Prints a receiptline document laid out for Profile. Where the profile lacks a command the document needs,
    /// the picture form (or a feed for a cut) is used and said once each in `fallbacks` and a log line, as are
    /// characters no code page has. InvalidArgument, nothing sent, for a document too large, an undecodable
    /// picture or a code its symbology cannot carry; NotConnected when no interface is chosen.
    Status PrintDocument(std::string_view text, std::vector<std::string>* fallbacks = nullptr);

private:
    Result<Data> exchangeStatus(const Data& request, std::chrono::milliseconds timeout);
    // Counts TX notifications, so a wait can tell a new answer from an equal earlier one in RecevedData.
    std::uint64_t notifications_ = 0;

    void writeToPrinter(const Data& bytes, CharacteristicWriteType type);
    void detachFromStack();
    // Scan results are handled on a later loop turn; they check this token so they never outlive the object.
    const std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);

    // The spool file as the session's first append opened it: later appends and the final read use this very
    // file, whatever its name points to by then.
    std::shared_ptr<Files::HeldFile> spool_;

    // The device or file Open chose; while it is set, commands go to it.
    std::unique_ptr<DeviceLink> device_;
    std::chrono::milliseconds deviceTimeout_{std::chrono::seconds(10)};
    void closeDevice();
    // What Open still has to do once the access point is joined or the printer is found.
    std::optional<std::pair<std::string, std::int64_t>> connectAfterJoin_;
    bool connectWhenFound_ = false;
    void wifiJoinFinished(const std::optional<Error>& failure);

    enum class Route { SpoolFile, Bluetooth, Tcp, Device };
    std::optional<Route> chooseRoute();
    void deliver(Route route, const Data& piece);
    bool routeCommand(const Data& piece);
    static Error noInterface();

    // The job since the last wait: its first error, the bytes the link accepted, and the sizes of writes with
    // response the stack has not yet confirmed, oldest first.
    struct Job {
        std::optional<Error> error;
        std::uint64_t bytesSent = 0;
        std::deque<std::size_t> awaitingConfirmation;
    };
    Job job_;
    // Confirmations still due for writes of jobs already reported; they are not counted again.
    std::size_t staleConfirmations_ = 0;
    std::shared_ptr<OrvikObserver> observer_;
    void accepted(std::uint64_t bytes);
    void failed(Error error);
    void endJob();
    std::optional<Error> bluetoothUnavailable() const;
    void reportBluetoothUnavailable();
    void serviceNotFound(const std::string& why);
    void watchConnection(TcpSocket& socket);
    // The bytes on the chosen link, or the error that kept them from being made or sent.
    Status sendChecked(const Result<Data>& bytes);
};

}  // namespace OrvikFramework
