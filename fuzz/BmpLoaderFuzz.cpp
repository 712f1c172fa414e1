// libFuzzer entry: any bytes as the BMP file the SDK loads and prints, in both band forms.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <orvik/Documents.h>
#include <orvik/Log.h>
#include <orvik/Orvik.h>

namespace {

// Takes what would go to the printer without sending it.
class DiscardingSocket : public OrvikFramework::TcpSocket {
public:
    std::int64_t SendData(const OrvikFramework::Data& data) override { return static_cast<std::int64_t>(data.size()); }
};

const std::string& folder() {
    static const std::string path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvik-bmp-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        OrvikFramework::Documents::setDirectory(pattern);
        OrvikFramework::Log::setSink([](std::string_view) {});
        return pattern;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace OrvikFramework;
    const std::string file = folder() + "/input.bmp";
    if (std::FILE* out = std::fopen(file.c_str(), "wb")) {
        if (size > 0) std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    Orvik sdk;
    sdk.InterfaceType = WIRELESSS_INTERFACE::SOCKET;
    sdk.TCPDevice = std::make_shared<DiscardingSocket>();
    sdk.LoadBMPFile("input.bmp");
    sdk.PrintBMPFile("input.bmp");
    sdk.PrintReceiptImageFile("input.bmp");
    return 0;
}
