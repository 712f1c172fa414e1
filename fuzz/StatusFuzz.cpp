// libFuzzer entry: any bytes as a printer's status answers; what is read can be answered back and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/StatusBytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    const auto status = StatusBytes::decode(Data(data, data + size));
    if (!status) return 0;
    Data again;
    for (std::uint8_t kind = StatusBytes::firstKind; kind <= StatusBytes::lastKind; ++kind)
        again.push_back(StatusBytes::answer(kind, *status));
    if (!StatusBytes::decode(again)) std::abort();
    return 0;
}
