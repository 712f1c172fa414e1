#include "Cli.h"

#include <CLI/CLI.hpp>

#include <signal.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <new>

#include <orvik/Log.h>
#include <orvik/UsbPrinters.h>

#include "CliError.h"
#include "Link.h"
#include "PreviewCommand.h"
#include "PrintJob.h"
#include "ScanCommand.h"
#include "ToolFiles.h"
#include "VirtualPrinterCommands.h"

namespace OrvikFramework::Cli {
namespace {

const std::vector<std::pair<std::string, Dither>> ditherNames{
    {"floyd-steinberg", Dither::FloydSteinberg},
    {"atkinson", Dither::Atkinson},
    {"threshold", Dither::Threshold},
};

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Option checks that say what is wrong in the tool's words; CLI11 puts the option's name in front.
CLI::Validator wholeNumber(long low, long high) {
    return CLI::Validator(
        [low, high](std::string& value) -> std::string {
            long number = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (value.empty() || ec != std::errc() || end != value.data() + value.size() || number < low || number > high)
                return "must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not " + value;
            return {};
        },
        "");
}

CLI::Validator positiveSeconds() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            char* end = nullptr;
            const double number = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(number > 0 && number <= 86400))
                return "must be a number of seconds above 0 and at most 86400, not " + value;
            return {};
        },
        "");
}

// One of `names` (any case), replaced by the value it stands for.
template <typename T>
CLI::Validator oneOf(const std::vector<std::pair<std::string, T>>& names) {
    std::string list;
    for (const auto& [name, value] : names) list += (list.empty() ? "" : ", ") + name;
    return CLI::Validator(
        [names, list](std::string& value) -> std::string {
            for (const auto& [name, meant] : names)
                if (lowered(value) == name) {
                    value = std::to_string(static_cast<long>(meant));
                    return {};
                }
            return "must be one of " + list + ", not " + value;
        },
        "");
}

std::string profileNames() {
    std::string names;
    for (const std::string& name : builtInProfileNames()) names += (names.empty() ? "" : ", ") + name;
    return names;
}

// A parser's complaint as one line of ours.
std::string rephrased(const CLI::ParseError& error) {
    std::string text = error.what();
    if (const auto end = text.find('\n'); end != std::string::npos) text.erase(end);
    if (dynamic_cast<const CLI::ValidationError*>(&error)) {
        // "--width: must be ..." from the checks above
        if (const auto colon = text.find(": "); colon != std::string::npos) text.erase(colon, 1);
    } else if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        const auto colon = text.find(": ");
        text = "unexpected argument" + (colon == std::string::npos ? std::string() : ": " + text.substr(colon + 2));
    } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        text = text.substr(0, text.find(':')) + " needs a value";
    }
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

void addImageOptions(CLI::App& command, PictureOptions& settings) {
    command.add_option("--width", settings.width, "Picture width in dots: 384 (58 mm), 576 (80 mm) or any up to " +
                                                      std::to_string(PictureMaxWidth))
        ->check(wholeNumber(1, PictureMaxWidth))
        ->capture_default_str();
    command.add_option("--dither", settings.dither, "floyd-steinberg, atkinson or threshold")
        ->transform(oneOf(ditherNames))
        ->option_text("METHOD=floyd-steinberg");
    command.add_option_function<int>("--threshold", [&settings](int t) { settings.threshold = static_cast<std::uint8_t>(t); },
                                     "Grey level 0-255 below which a dot is black")
        ->check(wholeNumber(0, 255))
        ->option_text("T=128");
}

PrinterAddress parsePrinter(const std::string& text) {
    auto address = parsePrinterAddress(text);
    if (!address) throw CliError(Exit::Usage, address.error().message);
    return std::move(address).value();
}

// The address as messages show it.
std::string shown(const std::string& text) { return maskPassword(text); }

// How print and send reach the printer, as given on their command line.
struct LinkSettings {
    double timeoutSeconds = 10;
    std::int64_t mtu = 180;
    bool spool = false;
    std::string passwordFile;
    bool passwordStdin = false;
};

void addLinkOptions(CLI::App& command, LinkSettings& settings) {
    command.add_option("--timeout", settings.timeoutSeconds,
                       "Seconds to wait for each step: joining, finding and connecting the printer, a stalled send")
        ->check(positiveSeconds())
        ->capture_default_str();
    command.add_option("--mtu", settings.mtu, "Bytes per Bluetooth LE write")->check(wholeNumber(1, 512))->capture_default_str();
    auto* file = command.add_option("--password-file", settings.passwordFile,
                                    "Read the Wi-Fi password from this file (its first line), not from the address");
    command.add_flag("--password-stdin", settings.passwordStdin, "Read the Wi-Fi password from standard input")->excludes(file);
}

std::string firstLine(std::string text) {
    const auto end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.erase(end);
    return text;
}

LinkOptions linkOptions(const LinkSettings& settings) {
    LinkOptions options;
    options.timeout = std::chrono::milliseconds(static_cast<std::int64_t>(settings.timeoutSeconds * 1000));
    options.mtu = settings.mtu;
    options.spool = settings.spool;
    if (!settings.passwordFile.empty()) {
        const Data bytes = readWholeFile(settings.passwordFile);
        options.password = firstLine(std::string(bytes.begin(), bytes.end()));
    } else if (settings.passwordStdin) {
        // The first line only: the other end of the pipe may stay open.
        std::string line;
        std::getline(std::cin, line);
        options.password = firstLine(line);
    }
    return options;
}

// With `check`, the printer is asked first and nothing is sent when it cannot print; then it is asked again.
void sendJob(const PrinterAddress& uri, const std::string& to, const LinkOptions& options, const Data& job, bool check,
             bool verbose) {
    const InterruptCatcher interrupt;
    Orvik sdk;
    {
        const auto link = Link::open(sdk, uri, shown(to), options);
        if (check) {
            const PrinterStatus status = link->readStatus();
            if (!status.canPrint())
                throw CliError(Exit::NotReady, "printer at " + shown(to) + " cannot print: " + conditions(status));
        }
        link->deliver(job, check);
    }
    if (verbose) std::fprintf(stderr, "orvik: done: the printer at %s took all %zu bytes\n", shown(to).c_str(), job.size());
}

std::string yesNo(bool value) { return value ? "yes" : "no"; }

// Asks the printer for its status and prints it; throws when it gives none or cannot print.
void showStatus(const PrinterAddress& uri, const std::string& where, const LinkOptions& options) {
    Orvik sdk;
    const PrinterStatus status = Link::open(sdk, uri, where, options)->readStatus();
    std::string raw;
    for (const std::uint8_t byte : status.raw) {
        char hex[4];
        std::snprintf(hex, sizeof hex, raw.empty() ? "%02X" : " %02X", byte);
        raw += hex;
    }
    const std::string paper = status.paperEnd ? "out" : status.paperNearEnd ? "near end" : "present";
    std::printf("printer:     %s\non-line:     %s\ncover open:  %s\npaper:       %s\nerror:       %s\n"
                "can print:   %s\nstatus bytes %s\n",
                where.c_str(), yesNo(status.online).c_str(), yesNo(status.coverOpen).c_str(), paper.c_str(),
                yesNo(status.error).c_str(), yesNo(status.canPrint()).c_str(), raw.c_str());
    std::fflush(stdout);
    if (!status.canPrint()) throw CliError(Exit::NotReady, "printer at " + where + " cannot print: " + conditions(status));
}

// The options of `print` in command-line order, each occurrence with its own value.
std::vector<OrderedOption> orderedOptions(const CLI::App& command) {
    std::vector<OrderedOption> ordered;
    std::map<const CLI::Option*, std::size_t> seen;
    for (const CLI::Option* option : command.parse_order()) {
        const std::size_t index = seen[option]++;
        const auto& results = option->results();
        const bool flag = option->get_expected_min() == 0;
        ordered.emplace_back(option->get_name(false, true).substr(2), flag || index >= results.size() ? "" : results[index]);
    }
    return ordered;
}

}  // namespace

int run(int argc, char** argv) {
    CLI::App app("Drives ESC/POS receipt printers over TCP, a printer's Wi-Fi access point or Bluetooth LE.", "orvik");
    app.footer(exitCodeHelp);
    app.require_subcommand(1);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "Show the SDK's log lines on standard error");
    std::string virtualPrinterDir;
    app.add_option("--virtual-printer", virtualPrinterDir,
                   "Use an in-process virtual printer on simulated Bluetooth LE and Wi-Fi instead of the system's: "
                   "ble://\"" + std::string(virtualPrinterName) +
                       "\" finds it, any wifi:// access point joins; its receipts go into DIR")
        ->type_name("DIR");

    CLI::App* scan = app.add_subcommand("scan", "List Bluetooth LE printers nearby (name, address, RSSI)");
    double scanSeconds = 5;
    scan->add_option("--timeout", scanSeconds, "Seconds to listen")->check(positiveSeconds())->capture_default_str();
    bool scanUsb = false;
    scan->add_flag("--usb", scanUsb, "List USB printers (/dev/usb/lpN) with the device ID each reports instead");
    scan->callback([&] {
        if (scanUsb) {
            for (const UsbPrinter& found : findUsbPrinters())
                std::printf("usb://%s  %s\n", found.path.c_str(), found.deviceId.value_or("(no device ID)").c_str());
            return;
        }
        withBackend(virtualPrinterDir, [&] {
            std::fputs(scanTable(scanPrinters(std::chrono::milliseconds(static_cast<std::int64_t>(scanSeconds * 1000)))).c_str(), stdout);
        });
    });

    CLI::App* print = app.add_subcommand("print", "Print text, barcodes, QR codes and pictures");
    print->footer(
        "Items print in the order given. --align, --bold, --underline, --double-width, --double-height and --font-b\n"
        "stay in force until changed, as on the printer (--plain clears the text styles); --hri applies to the next\n"
        "--barcode; --qr-size, --qr-ecc and --qr-raster to the next --qr; --codepage to every --text after it,\n"
        "--image-mode to every --image after it. --profile sets the printer model for the whole job: the picture\n"
        "width, and whether QR codes, barcodes and PDF417 are the printer's own or sent as pictures.\n"
        "--symbology applies to the next --barcode (default code39); --size, --invert and --upside-down to the text\n"
        "after them. QR codes are model 2.\n" +
        std::string(exitCodeHelp));
    std::string printTo;
    LinkSettings printLink;
    PictureOptions printImage;
    // Only their order matters; orderedOptions reads each occurrence back from the parser.
    std::vector<std::string> texts, aligns, barcodes, hris, images, imageModes, feeds, codepages, docs, profiles;
    std::map<std::string, int> flagCounts;
    print->add_option("--to", printTo, "Printer address: tcp://HOST:PORT, wifi://SSID?password=P&host=H&port=N, ble://NAME, "
                      "usb:///dev/usb/lpN, serial:///dev/ttyX?baud=N&flow=none|rtscts|xonxoff or file:PATH")
        ->required();
    print->add_option("--text", texts, "A line of text (UTF-8)")->allow_extra_args(false);
    print->add_option("--codepage", codepages,
                      "Convert the following texts to this printer code page: CP437, CP850, CP852, CP858, CP866, "
                      "CP1252, ISO-8859-15, GB18030, BIG5, SHIFT_JIS or CP737; auto: the pages of --profile, chosen per character")
        ->type_name("NAME")
        ->allow_extra_args(false);
    print->add_option("--align", aligns, "left, center or right, until changed")->allow_extra_args(false);
    print->add_option("--doc", docs, "A receiptline document; - reads it from standard input")->type_name("FILE")->allow_extra_args(false);
    print->add_option("--profile", profiles, "Printer profile: a shipped one (" + profileNames() + ") or a profile file")
        ->type_name("NAME|FILE")
        ->allow_extra_args(false);
    for (const auto& [name, help] : std::vector<std::pair<std::string, std::string>>{
             {"--bold", "Bold"}, {"--underline", "Underlined"}, {"--double-width", "Double width"},
             {"--double-height", "Double height"}, {"--font-b", "The small font"}})
        print->add_flag(name, flagCounts[name], help + " text until --plain");
    print->add_flag("--plain", flagCounts["--plain"], "Text without the styles above from here on");
    print->add_option("--barcode", barcodes, "A barcode of this data")->allow_extra_args(false);
    std::vector<std::string> symbologies, pdf417s, drawers, sizes;
    print->add_option("--symbology", symbologies,
                      "upca, upce, ean13, ean8, code39, itf, codabar, code93, code128 or gs1-128 (e.g. \"(01)09501101530003\")")
        ->type_name("NAME")
        ->allow_extra_args(false);
    print->add_option("--pdf417", pdf417s, "A PDF417 symbol of this text")->allow_extra_args(false);
    print->add_option("--drawer", drawers, "Open the cash drawer on connector pin 2 or 5")->type_name("PIN")->allow_extra_args(false);
    print->add_flag("--beep", flagCounts["--beep"], "Sound the buzzer");
    print->add_option("--size", sizes, "Text size WIDTHxHEIGHT, each 1-8")->type_name("WxH")->allow_extra_args(false);
    print->add_flag("--invert", flagCounts["--invert"], "White on black text from here on");
    print->add_flag("--upside-down", flagCounts["--upside-down"], "Upside-down text from here on");
    print->add_option("--hri", hris, "Barcode text: none, above or below (default below)")->allow_extra_args(false);
    std::vector<std::string> qrs, qrSizes, qrLevels;
    print->add_option("--qr", qrs, "A QR code of this text")->allow_extra_args(false);
    print->add_option("--qr-size", qrSizes, "Dots per QR module, 1-16 (default 6)")->type_name("N")->allow_extra_args(false);
    print->add_option("--qr-ecc", qrLevels, "QR error correction: L, M, Q or H (default M)")->allow_extra_args(false);
    print->add_flag("--qr-raster", flagCounts["--qr-raster"], "Send the next QR code as a picture, for printers without QR codes");
    print->add_option("--image", images, "A PNG, JPEG, GIF or BMP picture, converted to printer dots")->allow_extra_args(false);
    print->add_option("--image-mode", imageModes,
                      "Send the pictures after it as raster (GS v 0, the default), graphics (GS ( L) or column (ESC *) images")
        ->type_name("MODE")
        ->allow_extra_args(false);
    print->add_option("--feed", feeds, "Feed N motion units (0-255)")->type_name("N")->allow_extra_args(false);
    print->add_flag("--cut", flagCounts["--cut"], "Cut the paper");
    print->add_flag("--spool", printLink.spool, "Collect the job and send it gzip-compressed over Bluetooth LE");
    bool printCheck = false;
    print->add_flag("--check", printCheck,
                    "Ask the printer first and send nothing when it cannot print; ask again once the job is sent");
    addImageOptions(*print, printImage);
    addLinkOptions(*print, printLink);
    print->callback([&] {
        // Checked before any picture is read, so a typo is reported at once.
        const PrinterAddress uri = parsePrinter(printTo);
        PrintJob job = PrintJob::fromOptions(orderedOptions(*print));
        for (const std::string& warning : job.conversionWarnings())
            std::fprintf(stderr, "orvik: warning: %s\n", warning.c_str());
        if (job.profile() && print->count("--width") == 0) printImage.width = static_cast<int>(job.profile()->widthDots);
        const LinkOptions options = linkOptions(printLink);
        const Data bytes = buildJob([&](Orvik& sdk) { job.play(sdk, printImage); });
        withBackend(virtualPrinterDir, [&] { sendJob(uri, printTo, options, bytes, printCheck, verbose); });
    });

    CLI::App* send = app.add_subcommand("send", "Send a file of ready-made printer commands");
    send->footer(exitCodeHelp);
    std::string sendTo, sendFile;
    send->add_option("--to", sendTo, "Printer address, as for print")->required();
    send->add_option("FILE", sendFile, "The file to send")->required();
    LinkSettings sendLink;
    addLinkOptions(*send, sendLink);
    send->callback([&] {
        const PrinterAddress uri = parsePrinter(sendTo);
        const Data bytes = readWholeFile(sendFile);
        const LinkOptions options = linkOptions(sendLink);
        withBackend(virtualPrinterDir, [&] { sendJob(uri, sendTo, options, bytes, false, verbose); });
    });

    CLI::App* status = app.add_subcommand("status", "Ask the printer whether it can print: on-line, cover, paper, errors");
    status->footer(exitCodeHelp);
    std::string statusTo;
    LinkSettings statusLink;
    status->add_option("--to", statusTo, "Printer address, as for print")->required();
    addLinkOptions(*status, statusLink);
    status->callback([&] {
        const PrinterAddress uri = parsePrinter(statusTo);
        const LinkOptions options = linkOptions(statusLink);
        withBackend(virtualPrinterDir, [&] { showStatus(uri, shown(statusTo), options); });
    });

    CLI::App* convert = app.add_subcommand("convert", "Convert a picture to a 1-bit BMP at printer width");
    convert->footer(exitCodeHelp);
    std::string convertIn, convertOut;
    PictureOptions convertImage;
    convert->add_option("IN", convertIn, "PNG, JPEG, GIF or BMP picture")->required();
    convert->add_option("OUT", convertOut, "The 1-bit BMP to write")->required();
    addImageOptions(*convert, convertImage);
    bool replaceOut = false;
    convert->add_flag("--replace", replaceOut, "Replace OUT when it exists");
    convert->callback([&] {
        const Result<MonoBitmap> picture = convertPictureFile(convertIn, convertImage);
        if (!picture) throw CliError(Exit::Input, picture.error().message);
        writeNewFile(convertOut, encodeBmp(*picture), replaceOut);
    });

    const auto paperWidths = oneOf(std::vector<std::pair<std::string, int>>{{"58", 58}, {"80", 80}});
    CLI::App* preview = app.add_subcommand("preview", "Render a saved job as the virtual printer would print it");
    std::string previewFile, previewOut, previewDoc, previewProfile;
    int paper = 58;
    preview->add_option("JOB", previewFile, "A file of printer commands (not with --doc)");
    preview->add_option("OUT", previewOut, "The PNG to write");
    preview->add_option("--doc", previewDoc, "Render this receiptline document instead of a job; - reads standard input")->type_name("FILE");
    preview->add_option("--profile", previewProfile, "Printer profile of the document (default 80mm): " + profileNames() + " or a file")
        ->type_name("NAME|FILE");
    preview->add_flag("--replace", replaceOut, "Replace OUT when it exists");
    preview->add_option("--paper", paper, "Paper width in mm: 58 or 80")->check(paperWidths)->capture_default_str();
    preview->callback([&] {
        if (previewFile.empty() || (previewDoc.empty() ? previewOut.empty() || !previewProfile.empty() : !previewOut.empty()))
            throw CliError(Exit::Usage, "preview takes JOB OUT, or --doc FILE [--profile P] OUT");
        std::vector<std::string> files;
        if (previewDoc.empty()) {
            files = previewJob(readWholeFile(previewFile), previewOut, paper == 80 ? 576 : 384, replaceOut);
        } else {
            std::vector<OrderedOption> options{{"doc", previewDoc}};
            if (!previewProfile.empty()) options.emplace_back("profile", previewProfile);
            const PrintJob job = PrintJob::fromOptions(options);
            const PrinterProfile profile = job.profile().value_or(defaultProfile());
            files = previewJob(buildJob([&job](Orvik& sdk) { job.play(sdk); }), previewFile, static_cast<int>(profile.widthDots), replaceOut);
        }
        for (const std::string& file : files) std::printf("%s\n", file.c_str());
    });

    CLI::App* printer = app.add_subcommand("printer", "Run the virtual printer");
    VirtualPrinter::ServerOptions printerOptions;
    printerOptions.port = 9100;
    std::string printerOut = "receipts";
    int printerPaper = 58;
    printer->add_option("--port", printerOptions.port, "TCP port on 127.0.0.1; 0 picks a free one")
        ->check(wholeNumber(0, 65535))
        ->capture_default_str();
    printer->add_option("--out", printerOut, "Folder for receipt-NNNN.png and receipt-NNNN.txt")->capture_default_str();
    printer->add_option("--paper", printerPaper, "Paper width in mm: 58 or 80")->check(paperWidths)->capture_default_str();
    VirtualPrinter::PrinterState& printerState = printerOptions.printer;
    bool printerOffline = false, printerSilent = false;
    printer->add_flag("--offline", printerOffline, "Report the printer off-line");
    printer->add_flag("--cover-open", printerState.coverOpen, "Report the cover open");
    printer->add_flag("--paper-near-end", printerState.paperNearEnd, "Report the roll nearly empty");
    printer->add_flag("--paper-out", printerState.paperEnd, "Report the roll empty");
    printer->add_flag("--error", printerState.error, "Report a printer error");
    printer->add_flag("--no-status", printerSilent, "Never answer status requests");
    printer->callback([&] {
        printerState.online = !printerOffline;
        printerState.answers = !printerSilent;
        printerOptions.outDir = printerOut;
        printerOptions.render.paperDots = printerPaper == 80 ? 576 : 384;
        servePrinter(printerOptions, printerPaper);
    });

    for (CLI::App* command : {scan, preview, printer}) command->footer(exitCodeHelp);

    // The SDK logs every stream event; that is noise on a terminal unless asked for, and then it is said to be
    // a trace: waiting for space or a closed stream are ordinary events in it.
    bool traced = false;
    Log::setSink([&verbose, &traced](std::string_view line) {
        if (!verbose) return;
        if (!traced)
            std::fputs("orvik: the SDK's trace follows: ordinary events, not errors; the last line and the exit code "
                       "say how it went\n",
                       stderr);
        traced = true;
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    });
    // A reader that went away (`orvik printer | head -1`) must not end the program.
    ::signal(SIGPIPE, SIG_IGN);
    int code = 0;
    const auto failWith = [&code](Exit exit, const std::string& message) {
        std::fprintf(stderr, "orvik: %s\n", message.c_str());
        code = static_cast<int>(exit);
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) code = app.exit(e);
        else failWith(Exit::Usage, rephrased(e));
    } catch (const CliError& e) {
        failWith(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        failWith(Exit::Input, "out of memory");
    }
    Log::setSink({});
    return code;
}

}  // namespace OrvikFramework::Cli
