#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <orvik/Data.h>

namespace OrvikFramework::VirtualPrinter {

/// One decoded printer command, or a report about input that could not be decoded.
struct Command {
    enum class Kind {
        Initialize,     // ESC @
        Alignment,      // ESC a n
        PrintMode,      // ESC ! n
        Emphasized,     // ESC E n
        Underline,      // ESC - n
        CharacterSize,  // GS ! n
        CodeTable,      // ESC t n
        MultiByteOn,    // FS &
        MultiByteOff,   // FS .
        KanjiSystem,    // FS C n: 0 JIS, 1 Shift_JIS
        LineSpacing,    // ESC 3 n; ESC 2 (the default spacing) has value -1
        Text,           // printable bytes, UTF-8 as sent
        CarriageReturn,
        LineFeed,
        FeedDots,       // ESC J n
        FeedLines,      // ESC d n
        PartialCut,     // ESC m
        Cut,            // GS V m [n]
        HriPosition,    // GS H n
        BarcodeHeight,  // GS h n
        BarcodeWidth,   // GS w n
        Barcode,        // GS k m ...
        RasterImage,    // GS v 0 m xL xH yL yH data
        StatusRequest,  // DLE EOT n
        CompressedJob,  // 1B FF FA + length; the inflated commands follow
        QrCode,         // GS ( k pL pH 49 fn ...: value is fn, data the parameters after it
        Pdf417,         // GS ( k pL pH 48 fn ...: value is fn, data the parameters after it
        HriFont,        // GS f n
        DrawerKick,     // ESC p m t1 t2: value m, data t1 t2
        Beep,           // ESC B n t (value 'B', data n t) or ESC ( A pL pH ... (value 'A', data the parameters)
        Invert,         // GS B n
        UpsideDown,     // ESC { n
        TabStops,       // ESC D n1..nk NUL: data the stops
        Tab,            // HT
        ColumnImage,    // ESC * m nL nH d: value m, width the columns, data 1 or 3 bytes a column
        Graphics,       // GS ( L / GS 8 L ... m fn ...: value fn, data the parameters after it
        Unknown,        // bytes that are no command; skipped
        Error,          // malformed or oversized input; message says what was skipped
    };

    Kind kind = Kind::Unknown;
    /// Offset of the first byte in the stream, or in the inflated job when `compressed`.
    std::uint64_t offset = 0;
    /// The single parameter (n), the cut or barcode or raster mode (m), or a job's announced length.
    std::int64_t value = 0;
    /// Feed parameter of a cut with feed; -1 when the form has none.
    std::int64_t feed = -1;
    /// Raster width in bytes and height in rows.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    /// Text bytes, barcode content, raster bytes or the unknown bytes.
    Data data;
    std::string message;
    /// Decoded from inside a compressed job.
    bool compressed = false;

    friend bool operator==(const Command&, const Command&) = default;
};

/// One line of text for a command, as the dump files and the tests show it.
std::string describe(const Command& command);

/// Memory and work bounds, sized for an 80 mm printer; input beyond them is reported once and skipped.
struct Limits {
    std::size_t largestImage = 72u * 16000;  // raster bytes of one GS v 0: 576 dots wide, 2 m long
    std::size_t largestJob = 32u << 20;      // inflated bytes of one compressed job, checked while inflating
    std::size_t largestStream = 64u << 20;   // bytes of one connection; the rest is read and dropped
    std::size_t longestLine = 4096;          // text bytes before a line is split
    std::size_t largestDump = 4u << 20;      // command and text bytes one receipt records for its dump
    std::size_t openConnections = 256;       // more wait in the listen backlog
};

}  // namespace OrvikFramework::VirtualPrinter
