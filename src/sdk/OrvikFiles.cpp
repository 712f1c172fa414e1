// Spooling to the Documents directory, the compressed job, and sending whole files.
#include <orvik/Orvik.h>

#include <cstring>
#include <system_error>

#include <orvik/Documents.h>
#include <orvik/Files.h>
#include <orvik/Log.h>
#include <orvik/Spool.h>

#include "core/Gzip.h"
#include "platform/posix/DeviceLink.h"
#include "platform/posix/Files.h"

namespace OrvikFramework {
namespace {

constexpr const char* spoolFileName = "DefultZipFile_WiFi.bin";

// Compresses the bytes and hands them to the Bluetooth write path in one call; false (with a line) when
// zlib fails, since nothing can then be sent.
bool sendCompressed(Orvik& sdk, const Data& bytes, const std::string& path) {
    const std::optional<Data> compressed = Gzip::gzipped(bytes, Gzip::defaultCompression);
    if (!compressed) {
        Log::plain("Orvik: cannot compress " + path + " (nothing sent)");
        return false;
    }
    if (!compressed->empty()) sdk.BLESend(*compressed);
    return true;
}

}  // namespace

bool Orvik::WriteToFile(const Data& data) {
    int error = 0;
    if (!spool_ || spool_->path() != ZipFile) {
        auto opened = std::make_shared<Files::HeldFile>();
        error = opened->open(ZipFile);
        spool_ = error == 0 ? std::move(opened) : nullptr;
    }
    if (error == 0) error = spool_->append(data);
    if (error == 0) return true;
    Log::plain(std::string("Error creating file ") + std::strerror(error));
    return false;
}

void Orvik::Zip(bool Enable) {
    if (Enable && !bZip) {
        spool_.reset();
        if (const std::optional<std::string> documents = Documents::directory()) {
            ZipFile = *documents + "/" + spoolFileName;
            if (const int error = Files::remove(ZipFile)) {
                Log::plain("Failed to remove file" + ZipFile + " :  " + std::strerror(error));
            }
        } else {
            // An old path would spool into a folder that is no longer the Documents directory.
            ZipFile.clear();
            Log::plain("Orvik: no Documents directory; spooled commands cannot be stored");
        }
        bZip = true;
    } else if (!Enable && bZip) {
        // The file this session appended to; by name only when nothing was appended to it.
        Data job;
        const bool held = spool_ && spool_->path() == ZipFile;
        if (const int error = held ? spool_->readAll(job) : Files::readAll(ZipFile, job, false)) {
            const std::string what = "cannot read the spool file " + ZipFile + ": " + std::strerror(error);
            Log::plain("Orvik: " + what + " (nothing sent)");
            failed({ErrorCode::FileError, what});
        } else {
            sendCompressed(*this, job, ZipFile);
        }
        spool_.reset();
        bZip = false;
    }
}

bool Orvik::PrintFile(std::string_view ImageFileName, bool) {
    const std::optional<std::string> documents = Documents::directory();
    if (!documents) return false;
    const std::string path = *documents + "/" + std::string(ImageFileName);
    Data bytes;
    if (Files::readAll(path, bytes) != 0) return false;
    if (bytes.empty()) return true;
    if (device_) {
        deliver(Route::Device, bytes);
        return true;
    }
    if (!InterfaceType) {
        Log::plain("Orvik: no interface chosen; call InitSDK before sending files (file not sent)");
        return false;
    }
    if (*InterfaceType == WIRELESSS_INTERFACE::BLUETOOTH) return sendCompressed(*this, bytes, path);
    deliver(Route::Tcp, bytes);
    return true;
}

bool Orvik::PrintFile(bool) { return true; }

void appendToURL(const Data& data, const std::filesystem::path& fileURL) {
    if (const int error = Files::appendOrCreate(fileURL.string(), data)) {
        throw std::system_error(error, std::generic_category(), "appendToURL " + fileURL.string());
    }
}

Result<Data> readFile(const std::string& path) {
    // One sized read rather than a character at a time: a photo is megabytes.
    Data bytes;
    if (const int error = Files::readAll(path, bytes))
        return Error{ErrorCode::FileError, "cannot read \"" + path + "\": " + std::strerror(error)};
    return bytes;
}

}  // namespace OrvikFramework
