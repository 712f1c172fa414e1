#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <orvik/Data.h>
#include <orvik/vprinter/Command.h>
#include <orvik/vprinter/PrinterState.h>

namespace OrvikFramework::VirtualPrinter {

/// Incremental ESC/POS decoder: feed bytes in any chunking, take the commands decoded so far.
class Decoder {
public:
    explicit Decoder(Limits limits = {});
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void setReplySink(ReplySink sink);
    /// Status requests are answered from this state, read afresh at each request; a ready printer's without one.
    void setPrinterState(std::shared_ptr<const PrinterState> state);

    /// Decodes as much of the stream as is complete; the rest waits for more bytes.
    void feed(const std::uint8_t* bytes, std::size_t length);
    void feed(const Data& bytes) { feed(bytes.data(), bytes.size()); }
    /// The stream has ended: flushes text and reports a command cut short.
    void finish();

    /// The commands decoded since the last call.
    std::vector<Command> takeCommands();

private:
    struct State;
    std::unique_ptr<State> state_;
};

/// Decodes a whole stream at once.
std::vector<Command> decodeAll(const Data& bytes, Limits limits = {});

}  // namespace OrvikFramework::VirtualPrinter
