#include <orvik/BLEDeviceCell.h>

namespace OrvikFramework {

BLEDeviceCell::BLEDeviceCell(std::optional<std::string> reuseIdentifier) : reuseIdentifier_(std::move(reuseIdentifier)) {}

void BLEDeviceCell::setSelected(bool selected, bool) { selected_ = selected; }

}  // namespace OrvikFramework
