#include "vprinter/Decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/BleFraming.h"
#include "core/EscPos.h"
#include "core/EverydayCommands.h"

namespace OrvikFramework::VirtualPrinter {
namespace {

using namespace EscPos;
constexpr std::size_t longestBarcode = 255;
// Unknown bytes next to each other are reported together, up to this many per report.
constexpr std::size_t unknownRun = 64;

bool isText(std::uint8_t byte) { return byte >= 0x20 && byte != 0x7F; }

std::string hex(const std::uint8_t* bytes, std::size_t length) {
    std::string out;
    char piece[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", bytes[i]);
        out += piece;
    }
    return out;
}

std::string quoted(const Data& bytes) {
    std::string out = "\"";
    for (std::uint8_t byte : bytes) {
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            char piece[5];
            std::snprintf(piece, sizeof piece, "\\x%02X", byte);
            out += piece;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out + "\"";
}

const char* barcodeSystem(std::int64_t m) {
    static const char* const names[] = {"UPC-A",   "UPC-E",   "EAN13",   "EAN8",           "CODE39",
                                        "ITF",     "CODABAR", "CODE93",  "CODE128",        "GS1-128",
                                        "GS1 DataBar", "GS1 DataBar truncated", "GS1 DataBar limited",
                                        "GS1 DataBar expanded", "CODE128 auto"};
    if (m >= 0 && m <= barcodeLastNulEnded) return names[m];
    if (m >= barcodeLengthPrefixed && m <= barcodeLastLengthPrefixed) return names[m - barcodeLengthPrefixed];
    return "unknown";
}

bool cutWithoutFeed(std::uint8_t m) {
    return m == cutFull || m == cutPartial || m == cutFullDigit || m == cutPartialDigit || m == cutWithoutParameter;
}
bool cutWithFeed(std::uint8_t m) {
    return m == cutFeedFull || m == cutFeedPartial || m == cutAtPositionFull || m == cutAtPositionPartial ||
           m == cutFeedReverseFull || m == cutFeedReversePartial;
}
bool rasterMode(std::uint8_t m) { return m <= 3 || (m >= 48 && m <= 51); }

}  // namespace

std::string describe(const Command& c) {
    using K = Command::Kind;
    const std::string n = std::to_string(c.value);
    std::string line;
    switch (c.kind) {
        case K::Initialize: line = "ESC @ initialize"; break;
        case K::Alignment: line = "ESC a " + n + " alignment"; break;
        case K::PrintMode: line = "ESC ! " + n + " print mode"; break;
        case K::Emphasized: line = "ESC E " + n + " emphasized"; break;
        case K::Underline: line = "ESC - " + n + " underline"; break;
        case K::CharacterSize: line = "GS ! " + n + " character size"; break;
        case K::CodeTable: line = "ESC t " + n + " code table"; break;
        case K::MultiByteOn: line = "FS & multi-byte mode on"; break;
        case K::MultiByteOff: line = "FS . multi-byte mode off"; break;
        case K::KanjiSystem: line = "FS C " + n + " kanji code system"; break;
        case K::LineSpacing: line = c.value < 0 ? "ESC 2 default line spacing" : "ESC 3 " + n + " line spacing"; break;
        case K::Text: line = "text " + quoted(c.data); break;
        case K::CarriageReturn: line = "CR"; break;
        case K::LineFeed: line = "LF"; break;
        case K::FeedDots: line = "ESC J " + n + " feed dots"; break;
        case K::FeedLines: line = "ESC d " + n + " feed lines"; break;
        case K::PartialCut: line = "ESC m partial cut"; break;
        case K::Cut:
            line = "GS V " + n + (c.feed >= 0 ? " " + std::to_string(c.feed) : std::string()) + " cut";
            break;
        case K::HriPosition: line = "GS H " + n + " HRI position"; break;
        case K::BarcodeHeight: line = "GS h " + n + " barcode height"; break;
        case K::BarcodeWidth: line = "GS w " + n + " barcode module width"; break;
        case K::Barcode: line = "GS k " + n + " " + barcodeSystem(c.value) + " " + quoted(c.data); break;
        case K::RasterImage:
            line = "GS v 0 " + n + " raster " + std::to_string(c.width) + "x" + std::to_string(c.height) + " bytes";
            break;
        case K::StatusRequest: line = "DLE EOT " + n + " status request"; break;
        case K::CompressedJob: line = "compressed job of " + n + " bytes"; break;
        case K::QrCode: line = "GS ( k QR function " + n + " " + quoted(c.data); break;
        case K::Pdf417: line = "GS ( k PDF417 function " + n + " " + quoted(c.data); break;
        case K::HriFont: line = "GS f " + n + " HRI font"; break;
        case K::DrawerKick:
            line = "ESC p " + n + " " + std::to_string(c.data.at(0)) + " " + std::to_string(c.data.at(1)) +
                   " cash drawer pin " + (c.value % 48 == 0 ? "2" : "5");
            break;
        case K::Beep:
            line = c.value == 'B' ? "ESC B " + std::to_string(c.data.at(0)) + " " + std::to_string(c.data.at(1)) + " beep"
                                  : "ESC ( A " + hex(c.data.data(), c.data.size()) + " beep";
            break;
        case K::Invert: line = "GS B " + n + " invert"; break;
        case K::UpsideDown: line = "ESC { " + n + " upside-down"; break;
        case K::TabStops: line = "ESC D " + hex(c.data.data(), c.data.size()) + " tab stops"; break;
        case K::Tab: line = "HT"; break;
        case K::ColumnImage: line = "ESC * " + n + " column image " + std::to_string(c.width) + " columns"; break;
        case K::Graphics: line = "GS ( L graphics function " + n + ", " + std::to_string(c.data.size()) + " bytes"; break;
        case K::Unknown: line = "unknown " + hex(c.data.data(), c.data.size()); break;
        case K::Error: line = "error: " + c.message; break;
    }
    char at[24];
    std::snprintf(at, sizeof at, "%s%08llX ", c.compressed ? "z" : "", static_cast<unsigned long long>(c.offset));
    return at + line;
}

struct Decoder::State {
    struct Job {
        z_stream zs{};
        std::uint64_t start = 0;  // where its size frame is
        std::int64_t announced = 0;
        std::uint64_t received = 0;
        std::uint64_t inflated = 0;
        std::unique_ptr<State> inner;
        ~Job() { inflateEnd(&zs); }
    };

    State(Limits l, bool inJob) : limits(l), compressed(inJob) {}

    Limits limits;
    const bool compressed;
    ReplySink reply;
    std::shared_ptr<const PrinterState> printer = std::make_shared<const PrinterState>();
    std::vector<Command> out;
    Data buffer;                  // bytes of the command not yet complete
    std::uint64_t bufferStart = 0;  // stream offset of buffer[0]
    std::optional<Command> text;  // text not yet ended by a control byte
    std::optional<Command> junk;  // unknown bytes that more may join
    std::uint64_t skip = 0;       // announced bytes being passed over
    std::string skipReason;
    std::unique_ptr<Job> job;
    std::uint64_t streamed = 0;  // bytes fed, for the stream limit

    Command make(Command::Kind kind, std::uint64_t offset, std::int64_t value = 0) const {
        Command c;
        c.kind = kind;
        c.offset = offset;
        c.value = value;
        c.compressed = compressed;
        return c;
    }

    // Held back pieces go out once something else arrives, so any chunking of the input gives the same list.
    void flushText() {
        if (text) out.push_back(std::move(*text));
        if (junk) out.push_back(std::move(*junk));
        text.reset();
        junk.reset();
    }

    void emit(Command c) {
        flushText();
        out.push_back(std::move(c));
    }

    void error(std::uint64_t offset, std::string message) {
        Command c = make(Command::Kind::Error, offset);
        c.message = std::move(message);
        emit(std::move(c));
    }

    void unknown(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length) {
        if (!junk || junk->offset + junk->data.size() != offset || junk->data.size() + length > unknownRun) {
            flushText();
            junk = make(Command::Kind::Unknown, offset);
        }
        junk->data.insert(junk->data.end(), bytes, bytes + length);
    }

    void addText(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length) {
        if (junk) flushText();
        if (!text) text = make(Command::Kind::Text, offset);
        const std::size_t room = limits.longestLine - text->data.size();
        if (length <= room) {
            text->data.insert(text->data.end(), bytes, bytes + length);
            return;
        }
        // A line this long cannot fit any paper; it is split so no single piece outgrows the bound.
        text->data.insert(text->data.end(), bytes, bytes + room);
        const std::uint64_t splitAt = offset + room;
        error(splitAt, "text line longer than " + std::to_string(limits.longestLine) + " bytes; split here");
        addText(splitAt, bytes + room, length - room);
    }

    // Decodes one command at p; returns the bytes it used, or 0 when more are needed.
    std::size_t step(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        using K = Command::Kind;
        const std::uint8_t b = p[0];
        if (isText(b)) {
            std::size_t run = 1;
            while (run < avail && isText(p[run])) ++run;
            addText(at, p, run);
            return run;
        }
        if (b == CR || b == LF || b == HT) {
            emit(make(b == CR ? K::CarriageReturn : b == LF ? K::LineFeed : K::Tab, at));
            return 1;
        }
        if (b != ESC && b != GS && b != DLE && b != FS) {
            unknown(at, p, 1);
            return 1;
        }
        if (avail < 2) return 0;
        const std::uint8_t c = p[1];
        const auto withParameter = [&](K kind) -> std::size_t {
            if (avail < 3) return 0;
            emit(make(kind, at, p[2]));
            return 3;
        };
        if (b == DLE) {
            if (c != EOT) {
                unknown(at, p, 2);
                return 2;
            }
            if (avail < 3) return 0;
            if (p[2] < 1 || p[2] > 4) {
                error(at, "DLE EOT with unknown status kind " + std::to_string(p[2]));
                return 3;
            }
            emit(make(K::StatusRequest, at, p[2]));
            if (reply && printer->answers) reply(Data{printer->statusByte(p[2])});
            return 3;
        }
        if (b == FS) {
            switch (c) {
                case '&': emit(make(K::MultiByteOn, at)); return 2;
                case '.': emit(make(K::MultiByteOff, at)); return 2;
                case 'C': return withParameter(K::KanjiSystem);
                default: unknown(at, p, 2); return 2;
            }
        }
        if (b == ESC) {
            switch (c) {
                case '@': emit(make(K::Initialize, at)); return 2;
                case 'm': emit(make(K::PartialCut, at)); return 2;
                case '2': emit(make(K::LineSpacing, at, -1)); return 2;
                case 'a': return withParameter(K::Alignment);
                case '!': return withParameter(K::PrintMode);
                case 'E': return withParameter(K::Emphasized);
                case '-': return withParameter(K::Underline);
                case 't': return withParameter(K::CodeTable);
                case 'J': return withParameter(K::FeedDots);
                case 'd': return withParameter(K::FeedLines);
                case '3': return withParameter(K::LineSpacing);
                case sizeFrameCommand: return compressed ? (unknown(at, p, 2), 2) : jobFrame(p, avail, at);
                case '{': return withParameter(K::UpsideDown);
                case 'p': return fixed(p, avail, at, K::DrawerKick, 5);
                case 'B': return fixed(p, avail, at, K::Beep, 4);
                case 'D': return tabStops(p, avail, at);
                case '*': return columnImage(p, avail, at);
                case '(': return beepFunction(p, avail, at);
                default: unknown(at, p, 2); return 2;
            }
        }
        switch (c) {
            case '!': return withParameter(K::CharacterSize);
            case 'H': return withParameter(K::HriPosition);
            case 'f': return withParameter(K::HriFont);
            case 'B': return withParameter(K::Invert);
            case '8': return graphics(p, avail, at, 4);
            case 'h': return withParameter(K::BarcodeHeight);
            case 'w': return withParameter(K::BarcodeWidth);
            case 'V': return cut(p, avail, at);
            case 'k': return barcode(p, avail, at);
            case 'v': return raster(p, avail, at);
            case '(': return avail < 3 ? 0 : p[2] == 'L' ? graphics(p, avail, at, 2) : symbol(p, avail, at);
            default: unknown(at, p, 2); return 2;
        }
    }

    // A command of `length` bytes whose first parameter is the value and the rest its data.
    std::size_t fixed(const std::uint8_t* p, std::size_t avail, std::uint64_t at, Command::Kind kind, std::size_t length) {
        if (avail < length) return 0;
        Command c = make(kind, at, kind == Command::Kind::Beep ? 'B' : p[2]);
        c.data.assign(p + (kind == Command::Kind::Beep ? 2 : 3), p + length);
        emit(std::move(c));
        return length;
    }

    std::size_t tabStops(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        const std::size_t longest = 2 + EscPos::mostTabStops + 1;
        const std::uint8_t* end = std::find(p + 2, p + std::min(avail, longest), 0x00);
        if (end == p + std::min(avail, longest)) {
            if (avail < longest) return 0;
            error(at, "ESC D has no NUL end within " + std::to_string(EscPos::mostTabStops) + " stops; header skipped");
            return 2;
        }
        Command c = make(Command::Kind::TabStops, at);
        c.data.assign(p + 2, end);
        emit(std::move(c));
        return static_cast<std::size_t>(end - p) + 1;
    }

    std::size_t columnImage(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 5) return 0;
        const std::uint8_t m = p[2];
        const std::size_t columns = p[3] + 256u * p[4];
        if (m != 0 && m != 1 && m != 32 && m != 33) {
            error(at, "ESC * with unknown mode " + std::to_string(m) + "; header skipped");
            return 5;
        }
        const std::size_t size = columns * (m >= 32 ? 3 : 1);
        if (avail < 5 + size) return 0;
        Command c = make(Command::Kind::ColumnImage, at, m);
        c.width = static_cast<std::uint32_t>(columns);
        c.data.assign(p + 5, p + 5 + size);
        emit(std::move(c));
        return 5 + size;
    }

    // ESC ( fn pL pH ...: A is the buzzer; the other functions are passed over whole.
    std::size_t beepFunction(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 5) return 0;
        const std::size_t length = p[3] + 256u * p[4];
        if (avail < 5 + length) return 0;
        if (p[2] != 'A') {
            unknown(at, p, 5 + length);
            return 5 + length;
        }
        Command c = make(Command::Kind::Beep, at, 'A');
        c.data.assign(p + 5, p + 5 + length);
        emit(std::move(c));
        return 5 + length;
    }

    // GS ( L pL pH m fn ... and GS 8 L p1 p2 p3 p4 m fn ...: graphics data, a size of `sizeBytes` bytes.
    std::size_t graphics(const std::uint8_t* p, std::size_t avail, std::uint64_t at, std::size_t sizeBytes) {
        const std::size_t head = 3 + sizeBytes;
        if (avail < head) return 0;
        if (p[2] != 'L') {
            unknown(at, p, 3);
            return 3;
        }
        std::uint64_t length = 0;
        for (std::size_t i = sizeBytes; i-- > 0;) length = (length << 8) | p[3 + i];
        if (length < 2 || length > limits.largestImage + 16) {
            error(at, "graphics command with parameter length " + std::to_string(length) + "; its bytes skipped");
            skip = length;
            skipReason = "graphics data";
            return head;
        }
        if (avail < head + length) return 0;
        Command c = make(Command::Kind::Graphics, at, p[head + 1]);
        c.data.assign(p + head + 2, p + head + length);
        emit(std::move(c));
        return head + length;
    }

    std::size_t cut(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 3) return 0;
        const std::uint8_t m = p[2];
        Command c = make(Command::Kind::Cut, at, m);
        if (cutWithoutFeed(m)) {
            emit(std::move(c));
            return 3;
        }
        if (!cutWithFeed(m)) {
            error(at, "GS V with unknown cut mode " + std::to_string(m));
            return 3;
        }
        if (avail < 4) return 0;
        c.feed = p[3];
        emit(std::move(c));
        return 4;
    }

    std::size_t barcode(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 3) return 0;
        const std::uint8_t m = p[2];
        Command c = make(Command::Kind::Barcode, at, m);
        if (m <= barcodeLastNulEnded) {
            const std::uint8_t* end = std::find(p + 3, p + avail, 0x00);
            const std::size_t length = static_cast<std::size_t>(end - (p + 3));
            if (length > longestBarcode) {
                error(at, "GS k " + std::to_string(m) + " data has no NUL end within " +
                              std::to_string(longestBarcode) + " bytes; header skipped");
                return 3;
            }
            if (end == p + avail) return 0;
            c.data.assign(p + 3, end);
            emit(std::move(c));
            return 3 + length + 1;
        }
        if (m >= barcodeLengthPrefixed && m <= barcodeLastLengthPrefixed) {
            if (avail < 4) return 0;
            const std::size_t length = p[3];
            if (avail < 4 + length) return 0;
            c.data.assign(p + 4, p + 4 + length);
            emit(std::move(c));
            return 4 + length;
        }
        error(at, "GS k with unknown barcode system " + std::to_string(m));
        return 3;
    }

    // GS ( k pL pH cn fn ...: two-dimensional symbols; QR (cn 49) and PDF417 (cn 48) are decoded, others passed over whole.
    std::size_t symbol(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 3) return 0;
        if (p[2] != 'k') {
            unknown(at, p, 3);
            return 3;
        }
        if (avail < 5) return 0;
        const std::size_t length = p[3] + 256u * p[4];
        if (avail < 5 + length) return 0;
        // Skipped whole, so a parameter byte is never taken for text.
        if (length < 2) {
            error(at, "GS ( k with parameter length " + std::to_string(length) + "; its " +
                          std::to_string(5 + length) + " bytes skipped");
            return 5 + length;
        }
        if (p[5] != qrSymbol && p[5] != pdf417Symbol) {
            unknown(at, p, 5 + length);
            return 5 + length;
        }
        Command c = make(p[5] == 49 ? Command::Kind::QrCode : Command::Kind::Pdf417, at, p[6]);
        c.data.assign(p + 7, p + 5 + length);
        emit(std::move(c));
        return 5 + length;
    }

    std::size_t raster(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 3) return 0;
        if (p[2] != '0') {
            unknown(at, p, 3);
            return 3;
        }
        if (avail < 8) return 0;
        const std::uint32_t width = p[4] + 256u * p[5];
        const std::uint32_t height = p[6] + 256u * p[7];
        const std::uint64_t size = std::uint64_t{width} * height;
        const auto passOver = [&](std::string why) -> std::size_t {
            error(at, "raster image " + std::to_string(width) + "x" + std::to_string(height) + " bytes " + why +
                          "; its " + std::to_string(size) + " data bytes skipped");
            skip = size;
            skipReason = "raster image data";
            return 8;
        };
        if (!rasterMode(p[3])) return passOver("with unknown mode " + std::to_string(p[3]));
        if (size > limits.largestImage) return passOver("exceeds the " + std::to_string(limits.largestImage) +
                                                        "-byte image limit");
        if (avail < 8 + size) return 0;
        Command c = make(Command::Kind::RasterImage, at, p[3]);
        c.width = width;
        c.height = height;
        c.data.assign(p + 8, p + 8 + size);
        emit(std::move(c));
        return 8 + size;
    }

    std::size_t jobFrame(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        if (avail < 3) return 0;
        if (p[2] != sizeFrameMark) {
            unknown(at, p, 3);
            return 3;
        }
        if (avail < sizeFrameLength) return 0;
        const std::int64_t announced = BleFraming::announcedLength(p);
        emit(make(Command::Kind::CompressedJob, at, announced));
        if (announced <= 0 || static_cast<std::uint64_t>(announced) > limits.largestJob)
            // The gzip member delimits itself, so the job is still read; only the length is not trusted.
            error(at, "compressed job length " + std::to_string(announced) + " is outside 1.." +
                          std::to_string(limits.largestJob));
        job = std::make_unique<Job>();
        job->start = at;
        job->announced = announced;
        job->inner = std::make_unique<State>(limits, true);
        job->inner->reply = reply;
        job->inner->printer = printer;
        if (inflateInit2(&job->zs, 16 + MAX_WBITS) != Z_OK) {
            error(at, "cannot start inflating the compressed job");
            job.reset();
        }
        return sizeFrameLength;
    }

    void takeInner() {
        for (Command& c : job->inner->out) out.push_back(std::move(c));
        job->inner->out.clear();
    }

    void endJob(std::uint64_t at, std::optional<std::string> failure) {
        job->inner->finish();
        takeInner();
        const Job& j = *job;
        if (failure) {
            error(at, *failure);
            // After corrupt data only the announced length tells where the job ends.
            if (j.announced > 0 && static_cast<std::uint64_t>(j.announced) > j.received &&
                static_cast<std::uint64_t>(j.announced) <= limits.largestJob) {
                skip = static_cast<std::uint64_t>(j.announced) - j.received;
                skipReason = "the rest of a broken compressed job";
            }
        } else if (static_cast<std::int64_t>(j.received) != j.announced) {
            error(at, "compressed job's gzip member is " + std::to_string(j.received) + " bytes, announced " +
                          std::to_string(j.announced));
        }
        job.reset();
    }

    std::size_t inflateSome(const std::uint8_t* p, std::size_t avail, std::uint64_t at) {
        Job& j = *job;
        j.zs.next_in = const_cast<Bytef*>(p);
        j.zs.avail_in = static_cast<uInt>(std::min<std::size_t>(avail, 1u << 20));
        const uInt offered = j.zs.avail_in;
        std::uint8_t chunk[16384];
        int rc = Z_OK;
        while (j.zs.avail_in > 0 && rc == Z_OK) {
            j.zs.next_out = chunk;
            j.zs.avail_out = sizeof chunk;
            rc = inflate(&j.zs, Z_NO_FLUSH);
            const std::size_t produced = sizeof chunk - j.zs.avail_out;
            // Exactly the first largestJob bytes are decoded, however the input came in pieces.
            const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(produced, limits.largestJob - j.inflated));
            j.inflated += produced;
            j.inner->feed(chunk, kept);
            takeInner();
            if (kept < produced) {
                rc = Z_MEM_ERROR;
                break;
            }
            if (rc == Z_BUF_ERROR && produced > 0) rc = Z_OK;
        }
        const std::size_t used = offered - j.zs.avail_in;
        j.received += used;
        if (rc == Z_STREAM_END) {
            endJob(at + used, std::nullopt);
        } else if (rc == Z_MEM_ERROR) {
            // Reported at the job's start: where the input stood when the limit was reached depends on its pieces.
            endJob(j.start, "compressed job inflates beyond the " + std::to_string(limits.largestJob) +
                                "-byte job limit; rest skipped");
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            endJob(at + used, "corrupt gzip data at job byte " + std::to_string(j.received) + ": " +
                                  (j.zs.msg ? j.zs.msg : "inflate failed"));
        }
        return used;
    }

    void feed(const std::uint8_t* bytes, std::size_t length) {
        buffer.insert(buffer.end(), bytes, bytes + length);
        std::size_t pos = 0;
        while (pos < buffer.size()) {
            const std::uint8_t* p = buffer.data() + pos;
            const std::size_t avail = buffer.size() - pos;
            const std::uint64_t at = bufferStart + pos;
            std::size_t used;
            if (skip > 0) {
                used = static_cast<std::size_t>(std::min<std::uint64_t>(skip, avail));
                skip -= used;
            } else if (job) {
                used = inflateSome(p, avail, at);
                if (used == 0 && job) break;
            } else {
                used = step(p, avail, at);
                if (used == 0) break;
            }
            pos += used;
        }
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(pos));
        bufferStart += pos;
    }

    void finish() {
        const std::uint64_t end = bufferStart + buffer.size();
        if (job) {
            endJob(end, "stream ended inside a compressed job after " + std::to_string(job->received) + " of " +
                            std::to_string(job->announced) + " bytes");
            skip = 0;
        }
        if (skip > 0) error(end, "stream ended " + std::to_string(skip) + " bytes before the end of " + skipReason);
        if (!buffer.empty())
            error(bufferStart, "stream ended inside a command: " +
                                   hex(buffer.data(), std::min<std::size_t>(buffer.size(), 16)) +
                                   (buffer.size() > 16 ? " ..." : ""));
        flushText();
        buffer.clear();
        bufferStart = end;
        skip = 0;
    }
};

Decoder::Decoder(Limits limits) : state_(std::make_unique<State>(limits, false)) {}
Decoder::~Decoder() = default;

void Decoder::setReplySink(ReplySink sink) { state_->reply = std::move(sink); }

void Decoder::setPrinterState(std::shared_ptr<const PrinterState> state) {
    if (state) state_->printer = std::move(state);
}
void Decoder::feed(const std::uint8_t* bytes, std::size_t length) {
    State& s = *state_;
    const std::uint64_t room = s.limits.largestStream - std::min<std::uint64_t>(s.streamed, s.limits.largestStream);
    const bool reachesLimit = length > room && s.streamed <= s.limits.largestStream;
    s.streamed += length;
    if (length <= room) return s.feed(bytes, length);
    if (!reachesLimit) return;
    s.feed(bytes, static_cast<std::size_t>(room));
    s.error(s.bufferStart + s.buffer.size(),
            "stream longer than " + std::to_string(s.limits.largestStream) + " bytes; the rest is dropped");
}
void Decoder::finish() { state_->finish(); }

std::vector<Command> Decoder::takeCommands() {
    std::vector<Command> taken;
    taken.swap(state_->out);
    return taken;
}

std::vector<Command> decodeAll(const Data& bytes, Limits limits) {
    Decoder decoder(limits);
    decoder.feed(bytes);
    decoder.finish();
    return decoder.takeCommands();
}

}  // namespace OrvikFramework::VirtualPrinter
