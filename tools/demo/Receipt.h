#pragma once

#include <orvik/Orvik.h>

namespace OrvikFramework::Demo {

/// The demo café receipt: logo (logo.bmp from the Documents directory), items, total, a barcode and a cut.
void printReceipt(Orvik& printer);

}  // namespace OrvikFramework::Demo
