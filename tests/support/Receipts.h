#pragma once

#include <vector>

#include <orvik/Data.h>

#include "vprinter/Decoder.h"
#include "vprinter/Renderer.h"

namespace OrvikFramework::Testing {

// The receipts the virtual printer prints from a whole job.
inline std::vector<VirtualPrinter::Receipt> printed(const Data& job, VirtualPrinter::RenderOptions options = {}) {
    VirtualPrinter::Renderer renderer(options);
    renderer.apply(VirtualPrinter::decodeAll(job));
    renderer.finish();
    return renderer.takeReceipts();
}

}  // namespace OrvikFramework::Testing
