// Peak resident memory of printing a 576x8000 BMP over TCP to a loopback sink, against the process's resident
// memory just before the job. Prints one JSON object for run.py.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <orvik/Documents.h>
#include <orvik/OrvikFramework.h>

#include "examples/LoopbackReceiver.h"
#include "NullLog.h"
#include "support/BmpBuilder.h"
#include "support/TempDir.h"

using namespace OrvikFramework;

namespace {

// A field of /proc/self/status in kB, or -1.
long statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Lets VmHWM start again from the current resident size, so set-up costs are not counted as the job's peak.
bool resetPeak() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    return static_cast<bool>(clearRefs.flush());
}

}  // namespace

int main() {
    Testing::TempDir documents;
    Testing::BmpLayout layout;
    layout.width = 576;
    layout.height = 8000;
    Testing::writeFile(documents.file("picture.bmp"), Testing::bmpFile(layout));
    Documents::setDirectory(documents.path().string());

    Loopback::Receiver sink({.recordLimit = 0});
    Bench::NullLog log;
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::SOCKET, 512, "memory bench", "");
    sdk.Connect("127.0.0.1", sink.port());

    const bool reset = resetPeak();
    const long baseline = statusKb(reset ? "VmRSS" : "VmHWM");
    const bool printed = sdk.PrintBMPFile("picture.bmp");
    const long peak = statusKb("VmHWM");
    sdk.Disconnect();

    const std::uint64_t expected = 8000 * 72 + 1600 * 8;  // rows plus one GS v 0 header per 5-row band
    for (int i = 0; i < 1000 && sink.count() < expected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::printf("{\"printed\": %s, \"baseline_kb\": %ld, \"peak_kb\": %ld, \"sent\": %llu, \"expected\": %llu, "
                "\"peak_reset\": %s}\n",
                printed ? "true" : "false", baseline, peak, static_cast<unsigned long long>(sink.count()),
                static_cast<unsigned long long>(expected), reset ? "true" : "false");
    return printed && sink.count() == expected ? 0 : 1;
}
