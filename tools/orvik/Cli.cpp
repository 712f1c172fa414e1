#include "Cli.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <orvik/Log.h>

#include "CliError.h"
#include "Link.h"
#include "PrintJob.h"

namespace OrvikFramework::Cli {
namespace {

const std::map<std::string, ImageConvert::Dither> ditherNames{
    {"floyd-steinberg", ImageConvert::Dither::FloydSteinberg},
    {"atkinson", ImageConvert::Dither::Atkinson},
    {"threshold", ImageConvert::Dither::Threshold},
};

void addImageOptions(CLI::App& command, ImageSettings& settings) {
    command.add_option("--width", settings.width, "Picture width in dots: 384 (58 mm), 576 (80 mm) or any up to " +
                                                      std::to_string(ImageConvert::maxWidth))
        ->check(CLI::Range(1, ImageConvert::maxWidth))
        ->capture_default_str();
    command.add_option("--dither", settings.dither, "floyd-steinberg, atkinson or threshold")
        ->transform(CLI::CheckedTransformer(ditherNames, CLI::ignore_case))
        ->option_text("METHOD=floyd-steinberg");
    command.add_option("--threshold", settings.threshold, "Grey level 0-255 below which a dot is black")
        ->check(CLI::Range(0, 255))
        ->option_text("T=128");
}

PrinterUri parsePrinter(const std::string& text) {
    std::string error;
    auto uri = parseUri(text, error);
    if (!uri) throw CliError(Exit::Usage, error);
    return *uri;
}

void sendJob(const PrinterUri& uri, const std::string& to, bool spool, const std::function<void(Orvik&)>& job) {
    Orvik sdk;
    const auto link = openLink(sdk, uri, spool);
    deliver(sdk, *link, to, job);
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

// Writes next to the target and renames, so a failed write never leaves a half file in place of a good one.
void writeFileAtomically(const std::string& path, const Data& bytes) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw CliError(Exit::Input, "cannot write \"" + path + "\"");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw CliError(Exit::Input, "cannot write \"" + path + "\"");
    }
}

std::string yesNo(bool value) { return value ? "yes" : "no"; }

// Asks the printer for its status and prints it; throws when it is silent or cannot print.
void showStatus(const PrinterUri& uri, const std::string& where, std::chrono::milliseconds timeout) {
    Orvik sdk;
    const auto link = openLink(sdk, uri, false);
    // The SDK says why a status is missing; that line becomes the error message.
    std::string reason = "no answer";
    const Log::Sink previous = Log::setSink([&reason, &previous](std::string_view line) {
        if (line.starts_with("Orvik: ")) reason = line.substr(7);
        if (previous) previous(line);
    });
    const std::optional<PrinterStatus> status = sdk.RequestStatus(timeout);
    Log::setSink(previous);
    link->disconnect();
    if (!status && link->failed()) {
        const auto error = link->outputStream ? link->outputStream->streamError() : std::nullopt;
        throw CliError(Exit::Unreachable, "cannot reach printer at " + where + ": " + error.value_or(reason));
    }
    if (!status) throw CliError(Exit::Unreachable, "printer at " + where + " gave no status: " + reason);

    std::string raw;
    for (const std::uint8_t byte : status->raw) {
        char hex[4];
        std::snprintf(hex, sizeof hex, raw.empty() ? "%02X" : " %02X", byte);
        raw += hex;
    }
    const std::string paper = status->paperEnd ? "out" : status->paperNearEnd ? "near end" : "present";
    std::printf("printer:     %s\non-line:     %s\ncover open:  %s\npaper:       %s\nerror:       %s\n"
                "can print:   %s\nstatus bytes %s\n",
                where.c_str(), yesNo(status->online).c_str(), yesNo(status->coverOpen).c_str(), paper.c_str(),
                yesNo(status->error).c_str(), yesNo(status->canPrint()).c_str(), raw.c_str());
    std::fflush(stdout);
    if (status->canPrint()) return;
    std::string causes;
    for (const auto& [present, cause] : {std::pair{!status->online, "off-line"}, {status->coverOpen, "cover open"},
                                         {status->paperEnd, "paper out"}, {status->error, "printer error"}})
        if (present) causes += (causes.empty() ? "" : ", ") + std::string(cause);
    throw CliError(Exit::NotReady, "printer at " + where + " cannot print: " + causes);
}

[[noreturn]] void unavailable(const std::string& command) {
    throw CliError(Exit::Unavailable, "\"" + command + "\" is not available in this build");
}

}  // namespace

int run(int argc, char** argv) {
    CLI::App app("Drives ESC/POS receipt printers over TCP, a printer's Wi-Fi access point or Bluetooth LE.", "orvik");
    app.footer(exitCodeHelp);
    app.require_subcommand(1);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "Show the SDK's log lines on standard error");

    CLI::App* scan = app.add_subcommand("scan", "List Bluetooth LE printers nearby (name, address, RSSI)");
    double scanSeconds = 5;
    scan->add_option("--timeout", scanSeconds, "Seconds to listen")->check(CLI::PositiveNumber)->capture_default_str();
    scan->callback([] { unavailable("scan"); });

    CLI::App* print = app.add_subcommand("print", "Print text, barcodes and pictures");
    print->footer(
        "Items print in the order given. --align applies to the next --text, --barcode or --image; --bold,\n"
        "--underline, --double-width, --double-height and --font-b to the next --text; --hri to the next --barcode.\n"
        "Barcodes are CODE39.\n" +
        std::string(exitCodeHelp));
    std::string printTo;
    bool spool = false;
    ImageSettings printImage;
    // Only their order matters; orderedOptions reads each occurrence back from the parser.
    std::vector<std::string> texts, aligns, barcodes, hris, images, feeds;
    std::map<std::string, int> flagCounts;
    print->add_option("--to", printTo, "Printer address: tcp://HOST:PORT, wifi://SSID?password=P&host=H&port=N or ble://NAME")
        ->required();
    print->add_option("--text", texts, "A line of text (UTF-8)")->allow_extra_args(false);
    print->add_option("--align", aligns, "left, center or right")->allow_extra_args(false);
    for (const auto& [name, help] : std::vector<std::pair<std::string, std::string>>{
             {"--bold", "Bold"}, {"--underline", "Underlined"}, {"--double-width", "Double width"},
             {"--double-height", "Double height"}, {"--font-b", "The small font"}})
        print->add_flag(name, flagCounts[name], help + " next text");
    print->add_option("--barcode", barcodes, "A CODE39 barcode")->allow_extra_args(false);
    print->add_option("--hri", hris, "Barcode text: none, above or below (default below)")->allow_extra_args(false);
    print->add_option("--image", images, "A PNG, JPEG, GIF or BMP picture, converted to printer dots")->allow_extra_args(false);
    print->add_option("--feed", feeds, "Feed N motion units (0-255)")->type_name("N")->allow_extra_args(false);
    print->add_flag("--cut", flagCounts["--cut"], "Cut the paper");
    print->add_flag("--spool", spool, "Collect the job and send it gzip-compressed over Bluetooth LE");
    addImageOptions(*print, printImage);
    print->callback([&] {
        // Checked before any picture is read, so a typo is reported at once.
        const PrinterUri uri = parsePrinter(printTo);
        PrintJob job = PrintJob::fromOptions(orderedOptions(*print));
        job.loadImages(printImage);
        sendJob(uri, printTo, spool, [&job](Orvik& sdk) { job.play(sdk); });
    });

    CLI::App* send = app.add_subcommand("send", "Send a file of ready-made printer commands");
    send->footer(exitCodeHelp);
    std::string sendTo, sendFile;
    send->add_option("--to", sendTo, "Printer address, as for print")->required();
    send->add_option("FILE", sendFile, "The file to send")->required();
    send->callback([&] {
        const PrinterUri uri = parsePrinter(sendTo);
        const Data bytes = readWholeFile(sendFile);
        sendJob(uri, sendTo, false, [&bytes](Orvik& sdk) { sdk.PrintData(bytes); });
    });

    CLI::App* status = app.add_subcommand("status", "Ask the printer whether it can print: on-line, cover, paper, errors");
    status->footer(exitCodeHelp);
    std::string statusTo;
    double statusSeconds = 2;
    status->add_option("--to", statusTo, "Printer address, as for print")->required();
    status->add_option("--timeout", statusSeconds, "Seconds to wait for each answer")
        ->check(CLI::Range(0.001, 3600.0))
        ->capture_default_str();
    status->callback([&] {
        const auto timeout = std::chrono::milliseconds(static_cast<std::int64_t>(statusSeconds * 1000));
        showStatus(parsePrinter(statusTo), statusTo, timeout);
    });

    CLI::App* convert = app.add_subcommand("convert", "Convert a picture to a 1-bit BMP at printer width");
    convert->footer(exitCodeHelp);
    std::string convertIn, convertOut;
    ImageSettings convertImage;
    convert->add_option("IN", convertIn, "PNG, JPEG, GIF or BMP picture")->required();
    convert->add_option("OUT", convertOut, "The 1-bit BMP to write")->required();
    addImageOptions(*convert, convertImage);
    convert->callback([&] {
        writeFileAtomically(convertOut, ImageConvert::encodeBmp(loadBitImage(convertIn, convertImage)));
    });

    CLI::App* preview = app.add_subcommand("preview", "Render a saved job as the virtual printer would print it");
    std::string previewJob, previewOut;
    int paper = 58;
    preview->add_option("JOB", previewJob, "A file of printer commands")->required();
    preview->add_option("OUT", previewOut, "The PNG to write")->required();
    preview->add_option("--paper", paper, "Paper width in mm: 58 or 80")->check(CLI::IsMember({58, 80}))->capture_default_str();
    preview->callback([] { unavailable("preview"); });

    CLI::App* printer = app.add_subcommand("printer", "Run the virtual printer");
    int printerPort = 9100;
    std::string printerOut = ".";
    printer->add_option("--port", printerPort, "TCP port on 127.0.0.1")->check(CLI::Range(1, 65535))->capture_default_str();
    printer->add_option("--out", printerOut, "Directory for received jobs and their pictures")->capture_default_str();
    printer->callback([] { unavailable("printer"); });

    for (CLI::App* command : {scan, preview, printer}) command->footer(exitCodeHelp);

    // The SDK logs every stream event; that is noise on a terminal unless asked for.
    Log::setSink([&verbose](std::string_view line) {
        if (verbose) std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    });
    int code = 0;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        code = app.exit(e) == 0 ? 0 : static_cast<int>(Exit::Usage);
    } catch (const CliError& e) {
        std::fprintf(stderr, "orvik: %s\n", e.what());
        code = static_cast<int>(e.code());
    }
    Log::setSink({});
    return code;
}

}  // namespace OrvikFramework::Cli
