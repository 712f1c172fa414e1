#pragma once

// Encoders of the everyday commands beside text: cash drawer, buzzer, character size and orientation, line
// spacing, tabs, PDF417 and pictures in each image mode. Pure functions.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include <orvik/Barcode.h>
#include <orvik/BitImage.h>
#include <orvik/Data.h>

#include "core/EscPos.h"

namespace OrvikFramework::Commands {

/// ESC p m t1 t2: a pulse on drawer connector pin 2 (m 0) or 5 (m 1), on for t1 and off for t2 times 2 ms.
Data drawerKick(std::uint8_t m, std::uint8_t onTime, std::uint8_t offTime);
/// ESC B n t: n beeps of t times 100 ms.
Data beep(std::uint8_t times, std::uint8_t duration);
/// GS ! n: characters `width` and `height` times their size, each 1-8.
Data characterSize(std::uint8_t width, std::uint8_t height);
/// GS B n: white on black.
Data invert(bool on);
/// ESC { n: upside-down printing.
Data upsideDown(bool on);
/// ESC 3 n, or ESC 2 for the default spacing.
Data lineSpacing(std::optional<std::uint8_t> dots);
/// ESC D n1..nk NUL: the columns of the tab stops, ascending.
Data tabStops(const std::vector<std::uint8_t>& columns);

/// GS ( k for PDF417: columns, rows, module width, row height, error level, store the data, print.
Data pdf417(std::string_view data, const Pdf417Options& options);

/// GS v 0: the picture in one command.
Data rasterImage(const MonoBitmap& picture);
/// GS ( L (GS 8 L when larger than one length allows): store in the graphics buffer, then print.
Data graphicsImage(const MonoBitmap& picture);
/// ESC 3 24, then per band of 24 rows ESC * 33 nL nH and the columns followed by LF, then ESC 2.
Data columnImage(const MonoBitmap& picture);

}  // namespace OrvikFramework::Commands
