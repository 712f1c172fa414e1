#pragma once

#include <memory>
#include <vector>

#include <orvik/vprinter/Command.h>
#include <orvik/vprinter/Receipt.h>

namespace OrvikFramework::VirtualPrinter {

/// Prints decoded commands onto receipts; a cut ends one receipt and starts the next.
class Renderer {
public:
    explicit Renderer(RenderOptions options = {}, Limits limits = {});
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    /// False when the font could not be loaded; text then prints as empty cells.
    bool fontLoaded() const;

    void apply(const Command& command);
    void apply(const std::vector<Command>& commands) {
        for (const Command& c : commands) apply(c);
    }
    /// Ends the receipt in progress, if anything was sent to it.
    void finish();
    /// The receipts completed since the last call.
    std::vector<Receipt> takeReceipts();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace OrvikFramework::VirtualPrinter
