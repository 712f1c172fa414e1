// libFuzzer entry: any bytes as a printer's status answers; what is read can be answered back by the virtual printer
// and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <orvik/PrinterStatus.h>
#include <orvik/vprinter/PrinterState.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    const auto status = decodePrinterStatus(Data(data, data + size));
    if (!status) return 0;
    const VirtualPrinter::PrinterState printer{status->online, status->coverOpen, status->paperNearEnd,
                                               status->paperEnd, status->error};
    Data again;
    for (std::uint8_t kind = 1; kind <= 4; ++kind) again.push_back(printer.statusByte(kind));
    if (!decodePrinterStatus(again)) std::abort();
    return 0;
}
