#include <orvik/vprinter/Server.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <orvik/Files.h>
#include <orvik/Log.h>

#include "platform/posix/SysCalls.h"
#include "vprinter/Decoder.h"
#include "vprinter/Renderer.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

constexpr std::size_t readChunk = 64 * 1024;
// Names found taken (by another writer in the folder) skipped in a row before a receipt is given up.
constexpr int maxSkippedNames = 1000;
// A connection's bytes are decoded in pieces of this size for at most this long per loop turn, so a huge or
// amplified job (a gzip bomb inflates a thousandfold) never holds up the other clients for long.
constexpr std::size_t slicePiece = 8;
constexpr auto sliceTime = std::chrono::milliseconds(2);
constexpr auto acceptRetry = std::chrono::seconds(1);

std::string numbered(std::uint64_t number, const char* extension) {
    char name[48];
    std::snprintf(name, sizeof name, "receipt-%04llu.%s", static_cast<unsigned long long>(number), extension);
    return name;
}

// A name a receipt cannot take: any entry, a dangling symlink included.
bool taken(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

Data bytesOf(const std::string& text) { return Data(text.begin(), text.end()); }

}  // namespace

PrintSession::PrintSession(const RenderOptions& render, const Limits& limits, ReceiptSink receipts,
                           ReplySink replies, std::shared_ptr<const PrinterState> printer)
    : decoder_(std::make_unique<Decoder>(limits)), renderer_(std::make_unique<Renderer>(render, limits)),
      receipts_(std::move(receipts)) {
    decoder_->setReplySink(std::move(replies));
    decoder_->setPrinterState(std::move(printer));
}

PrintSession::~PrintSession() = default;

void PrintSession::feed(const std::uint8_t* bytes, std::size_t length) {
    decoder_->feed(bytes, length);
    drain();
}

void PrintSession::finish() {
    decoder_->finish();
    drain();
    renderer_->finish();
    for (Receipt& r : renderer_->takeReceipts()) receipts_(std::move(r));
}

void PrintSession::drain() {
    std::vector<Command> commands = decoder_->takeCommands();
    renderer_->apply(commands);
    if (keep_) kept_.insert(kept_.end(), std::make_move_iterator(commands.begin()), std::make_move_iterator(commands.end()));
    for (Receipt& r : renderer_->takeReceipts()) receipts_(std::move(r));
}

struct Server::Connection {
    std::string source;
    RunLoop::WatchId watch = 0;
    std::unique_ptr<PrintSession> session;
    std::uint64_t serial = 0;
    Data pending;          // read, not yet decoded; nothing more is read until it is
    std::size_t done = 0;  // bytes of pending decoded
    bool ended = false;    // the client closed its side
};

Server::Server(ServerOptions options)
    : options_(std::move(options)), printerState_(std::make_shared<PrinterState>(options_.printer)) {}

Server::~Server() { stop(); }

std::uint64_t Server::firstFreeNumber() const {
    std::uint64_t highest = 0;
    if (!options_.outDir) return 1;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(*options_.outDir, error)) {
        unsigned long long n = 0;
        const std::string name = entry.path().filename().string();
        if (std::sscanf(name.c_str(), "receipt-%llu.", &n) == 1 && n > highest) highest = n;
    }
    return highest + 1;  // 0 when the last number is taken
}

std::string Server::store(PrintedReceipt& printed) {
    const std::filesystem::path& dir = *options_.outDir;
    for (int skipped = 0; skipped < maxSkippedNames; ++skipped) {
        if (nextNumber_ == 0) return "(no receipt numbers left in " + dir.string() + ")";
        const std::uint64_t number = nextNumber_++;
        const std::filesystem::path png = dir / numbered(number, "png");
        const std::filesystem::path txt = dir / numbered(number, "txt");
        if (taken(png) || taken(txt)) continue;
        printed.number = number;
        Status failed = writeFileExclusive(png.string(), printed.png);
        if (!failed) failed = writeFileExclusive(txt.string(), bytesOf(dumpText(printed.receipt)));
        if (failed) return "(cannot write into " + dir.string() + ": " + failed->message + ")";
        printed.file = png;
        return png.string();
    }
    return "(no free receipt name in " + dir.string() + ")";
}

bool Server::start() {
    if (listener_ >= 0) return true;
    if (options_.outDir) {
        std::error_code error;
        std::filesystem::create_directories(*options_.outDir, error);
        if (error) {
            Log::plain("orvik-printer: cannot create " + options_.outDir->string() + ": " + error.message());
            return false;
        }
        nextNumber_ = firstFreeNumber();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    if (options_.port < 0 || options_.port > 65535 || inet_pton(AF_INET, options_.host.c_str(), &address.sin_addr) != 1) {
        Log::plain("orvik-printer: cannot listen on " + options_.host + ":" + std::to_string(options_.port) +
                   ": not an IPv4 address and port");
        return false;
    }
    const int fd = sys().socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || sys().setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        Log::plain("orvik-printer: cannot listen on " + options_.host + ":" + std::to_string(options_.port) + ": " +
                   std::strerror(errno));
        if (fd >= 0) sys().close(fd);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listener_ = fd;
    port_ = ntohs(address.sin_port);
    listenerWatch_ = RunLoop::main().watchFd(fd, POLLIN, [this](short) { accept(); });
    return true;
}

void Server::stop() {
    // What a client sent before the printer stopped is still printed.
    while (!connections_.empty()) {
        Connection& c = *connections_.begin()->second;
        c.session->feed(c.pending.data() + c.done, c.pending.size() - c.done);
        c.session->finish();
        close(connections_.begin()->first);
    }
    if (listener_ < 0) return;
    RunLoop::main().cancelTimer(retryAccept_);
    RunLoop::main().unwatchFd(listenerWatch_);
    sys().close(listener_);
    listener_ = -1;
}

void Server::pauseListener(bool paused) {
    if (paused == listenerPaused_ || listener_ < 0) return;
    listenerPaused_ = paused;
    RunLoop::main().setWatchEvents(listenerWatch_, paused ? 0 : POLLIN);
}

// Takes every pending connection; the ones beyond the connection limit or the descriptors left wait in the
// backlog, with the listener unwatched (else poll would report it ready forever) until a connection closes.
void Server::accept() {
    while (connections_.size() < options_.limits.openConnections) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM) return;  // none pending
            if (!outOfFdsLogged_)
                Log::plain(std::string("orvik-printer: cannot accept: ") + std::strerror(errno) +
                           "; new connections wait until one closes");
            outOfFdsLogged_ = true;
            pauseListener(true);
            // Descriptors may also be freed elsewhere in the process.
            RunLoop::main().cancelTimer(retryAccept_);
            retryAccept_ = RunLoop::main().addTimer(acceptRetry, [this] { pauseListener(false); });
            return;
        }
        outOfFdsLogged_ = false;
        char host[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
        auto connection = std::make_unique<Connection>();
        connection->source = std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));
        connection->serial = ++nextSerial_;
        const std::string source = connection->source;
        connection->session = std::make_unique<PrintSession>(
            options_.render, options_.limits, [this, source](Receipt r) { deliver(source, std::move(r)); },
            [fd](const Data& reply) {
                // A status answer is a byte or two; a client that does not read it loses nothing else.
                sys().send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            },
            printerState_);
        connection->session->keepCommands(options_.keepJobs);
        connection->watch = RunLoop::main().watchFd(fd, POLLIN, [this, fd](short) { read(fd); });
        connections_.emplace(fd, std::move(connection));
    }
    pauseListener(true);
}

void Server::read(int fd) {
    const auto found = connections_.find(fd);
    if (found == connections_.end()) return;
    Connection& c = *found->second;
    std::uint8_t chunk[readChunk];
    const ssize_t n = sys().recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n > 0) c.pending.assign(chunk, chunk + n);
    c.done = 0;
    c.ended = n <= 0;
    RunLoop::main().setWatchEvents(c.watch, 0);
    work(fd, c.serial);
}

void Server::work(int fd, std::uint64_t serial) {
    const auto found = connections_.find(fd);
    if (found == connections_.end() || found->second->serial != serial) return;
    Connection& c = *found->second;
    const auto until = std::chrono::steady_clock::now() + sliceTime;
    const std::uint64_t printedBefore = printed_;
    // A receipt ends the slice too: it costs a PNG and two files.
    while (c.done < c.pending.size() && printed_ == printedBefore && std::chrono::steady_clock::now() < until) {
        const std::size_t piece = std::min(slicePiece, c.pending.size() - c.done);
        c.session->feed(c.pending.data() + c.done, piece);
        c.done += piece;
    }
    if (c.done < c.pending.size()) {
        RunLoop::main().post([this, fd, serial, alive = std::weak_ptr<int>(alive_)] {
            if (alive.lock()) work(fd, serial);
        });
        return;
    }
    Data().swap(c.pending);
    c.done = 0;
    if (c.ended) return end(fd);
    RunLoop::main().setWatchEvents(c.watch, POLLIN);
}

void Server::end(int fd) {
    Connection& ended = *connections_.at(fd);
    ended.session->finish();
    if (options_.keepJobs) jobs_.push_back({ended.source, ended.session->commands()});
    close(fd);
    ++closed_;
}

void Server::close(int fd) {
    const auto found = connections_.find(fd);
    if (found == connections_.end()) return;
    RunLoop::main().unwatchFd(found->second->watch);
    sys().close(fd);
    connections_.erase(found);
    pauseListener(false);
}

void Server::deliver(const std::string& source, Receipt receipt) {
    PrintedReceipt printed;
    printed.source = source;
    printed.png = encodePng(receipt);
    printed.receipt = std::move(receipt);
    const Receipt& r = printed.receipt;
    std::string where;
    if (options_.outDir) {
        where = " " + store(printed);
    } else {
        printed.number = nextNumber_++;
    }
    Log::plain("receipt " + std::to_string(printed.number) + ":" + where + " " + std::to_string(r.width) + "x" +
               std::to_string(r.height) + " dots, " + std::to_string(r.commands.size()) + " commands, " +
               std::to_string(r.warnings.size()) + " warnings, from " + source);
    for (const std::string& w : r.warnings) Log::plain("receipt " + std::to_string(printed.number) + ": warning: " + w);
    ++printed_;
    if (handler_) handler_(printed);
    const std::size_t keep = options_.keepReceipts.value_or(options_.outDir ? 0 : SIZE_MAX);
    if (keep == 0) return;
    receipts_.push_back(std::move(printed));
    if (receipts_.size() > keep) receipts_.pop_front();
}

}  // namespace OrvikFramework::VirtualPrinter
