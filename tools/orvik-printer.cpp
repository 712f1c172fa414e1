// The virtual receipt printer: serves ESC/POS over TCP and writes each receipt as a PNG and a command dump.
#include <CLI/CLI.hpp>

#include <orvik/Log.h>
#include <orvik/RunLoop.h>
#include <orvik/vprinter/Server.h>

using namespace OrvikFramework;

int main(int argc, char** argv) {
    CLI::App app{"Virtual ESC/POS receipt printer"};
    VirtualPrinter::ServerOptions options;
    options.port = 9100;
    std::string out = "receipts";
    int paperMm = 58;
    app.add_option("--host", options.host, "IPv4 address to listen on")->capture_default_str();
    app.add_option("--port", options.port, "TCP port; 0 picks a free one")->capture_default_str()->check(CLI::Range(0, 65535));
    app.add_option("--out", out, "folder for receipt-NNNN.png and receipt-NNNN.txt")->capture_default_str();
    app.add_option("--paper", paperMm, "paper width in mm")->capture_default_str()->check(CLI::IsMember({58, 80}));
    VirtualPrinter::PrinterState& state = options.printer;
    bool offline = false, silent = false;
    app.add_flag("--offline", offline, "Report the printer off-line");
    app.add_flag("--cover-open", state.coverOpen, "Report the cover open");
    app.add_flag("--paper-near-end", state.paperNearEnd, "Report the roll nearly empty");
    app.add_flag("--paper-out", state.paperOut, "Report the roll empty");
    app.add_flag("--error", state.error, "Report a printer error");
    app.add_flag("--no-status", silent, "Never answer status requests");
    CLI11_PARSE(app, argc, argv);
    state.online = !offline;
    state.answers = !silent;

    options.outDir = out;
    options.render.paperDots = paperMm == 80 ? 576 : 384;
    VirtualPrinter::Server server(options);
    if (!server.start()) return 1;
    Log::plain("orvik-printer: listening on " + options.host + ":" + std::to_string(server.port()) + ", " +
               std::to_string(paperMm) + " mm paper, receipts into " + out);
    RunLoop::main().run();
    return 0;
}
