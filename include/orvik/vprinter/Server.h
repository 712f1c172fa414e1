#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <orvik/Data.h>
#include <orvik/RunLoop.h>
#include <orvik/vprinter/Command.h>
#include <orvik/vprinter/PrinterState.h>
#include <orvik/vprinter/Receipt.h>

namespace OrvikFramework::VirtualPrinter {

class Decoder;
class Renderer;

/// A receipt as the printer handed it out.
struct PrintedReceipt {
    /// From 1 on; 0 when the output folder had no number left for it.
    std::uint64_t number = 0;
    /// Where the bytes came from, e.g. "127.0.0.1:40112".
    std::string source;
    Receipt receipt;
    Data png;
    /// The PNG file written, when the printer has an output folder.
    std::optional<std::filesystem::path> file;
};

/// Turns one byte stream (a connection, a Bluetooth write sequence) into receipts.
class PrintSession {
public:
    using ReceiptSink = std::function<void(Receipt receipt)>;

    /// Status requests are answered through `replies` from `printer`, read at each request (a ready printer's
    /// without one).
    PrintSession(const RenderOptions& render, const Limits& limits, ReceiptSink receipts, ReplySink replies,
                 std::shared_ptr<const PrinterState> printer = nullptr);
    ~PrintSession();

    void feed(const std::uint8_t* bytes, std::size_t length);
    /// The stream has ended: the receipt in progress, if any, is handed out too.
    void finish();

    /// Keeps every decoded command for commands(); off, so a long-running connection does not grow without end.
    void keepCommands(bool keep) { keep_ = keep; }
    const std::vector<Command>& commands() const { return kept_; }

private:
    void drain();
    std::unique_ptr<Decoder> decoder_;
    std::unique_ptr<Renderer> renderer_;
    ReceiptSink receipts_;
    bool keep_ = false;
    std::vector<Command> kept_;
};

struct ServerOptions {
    std::string host = "127.0.0.1";
    /// 0 picks a free port.
    int port = 0;
    /// Folder for "receipt-NNNN.png" and "receipt-NNNN.txt"; none keeps receipts in memory only.
    std::optional<std::filesystem::path> outDir;
    RenderOptions render;
    Limits limits;
    /// How many of the latest receipts receipts() keeps; by default all without an output folder, none with one.
    std::optional<std::size_t> keepReceipts;
    /// Records each connection's decoded commands in jobs(); for tests and tools that inspect jobs.
    bool keepJobs = false;
    /// The condition the printer starts in, as status requests report it.
    PrinterState printer;
};

/// The decoded commands of one ended connection.
struct Job {
    std::string source;
    std::vector<Command> commands;
};

/// The virtual printer's TCP front door, served on RunLoop::main(); any number of clients, each its own job.
class Server {
public:
    using ReceiptHandler = std::function<void(const PrintedReceipt&)>;

    explicit Server(ServerOptions options = {});
    /// Closes the listener and every connection.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Starts listening; false, with a log line saying why, when it cannot.
    bool start();
    void stop();
    /// The port listened on, once started.
    int port() const { return port_; }

    void setReceiptHandler(ReceiptHandler handler) { handler_ = std::move(handler); }
    /// The latest receipts printed, in order, as many as `keepReceipts` allows.
    const std::deque<PrintedReceipt>& receipts() const { return receipts_; }
    /// Receipts printed so far, kept or not.
    std::uint64_t printedCount() const { return printed_; }
    /// Connections that have ended, so a caller can wait for a client's job to be complete.
    std::size_t closedConnections() const { return closed_; }
    /// Ended connections' commands, when `keepJobs` is set.
    const std::vector<Job>& jobs() const { return jobs_; }

    const ServerOptions& options() const { return options_; }
    /// What status requests on every front door are answered from; may be changed at any time.
    PrinterState& printerState() { return *printerState_; }
    /// The same state, for a front door's own session.
    std::shared_ptr<const PrinterState> sharedPrinterState() const { return printerState_; }

    /// Hands out a receipt from any front door: numbers it, writes its files, logs one line.
    void deliver(const std::string& source, Receipt receipt);

private:
    struct Connection;
    void accept();
    void read(int fd);
    void work(int fd, std::uint64_t serial);
    void end(int fd);
    void close(int fd);
    void pauseListener(bool paused);
    std::uint64_t firstFreeNumber() const;
    /// Writes the receipt's files under the next free number and sets its number and file; returns where they went,
    /// or why not, for the log line.
    std::string store(PrintedReceipt& printed);

    ServerOptions options_;
    std::shared_ptr<PrinterState> printerState_;
    int listener_ = -1;
    int port_ = 0;
    RunLoop::WatchId listenerWatch_ = 0;
    std::map<int, std::unique_ptr<Connection>> connections_;
    std::deque<PrintedReceipt> receipts_;
    std::vector<Job> jobs_;
    // 0 once the last number is taken: numbers never wrap back onto earlier receipts.
    std::uint64_t nextNumber_ = 1;
    std::uint64_t printed_ = 0;
    std::uint64_t nextSerial_ = 0;
    bool listenerPaused_ = false;
    bool outOfFdsLogged_ = false;
    RunLoop::TimerId retryAccept_ = 0;
    // Work posted to the loop runs only while this lives.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
    std::size_t closed_ = 0;
    ReceiptHandler handler_;
};

}  // namespace OrvikFramework::VirtualPrinter
