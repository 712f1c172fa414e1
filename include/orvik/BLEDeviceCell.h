#pragma once

#include <memory>
#include <optional>
#include <string>

namespace OrvikFramework {

/// A text label of a device-list row.
struct Label {
    std::string text;
};

/// A device-list row with a name label and a signal-strength label, both filled by the application.
/// The cell does not own its labels: an outlet becomes empty once its label is gone.
class BLEDeviceCell {
public:
    explicit BLEDeviceCell(std::optional<std::string> reuseIdentifier = std::nullopt);
    virtual ~BLEDeviceCell() = default;

    std::weak_ptr<Label> lblDevice;
    std::weak_ptr<Label> lblRSSI;

    const std::optional<std::string>& reuseIdentifier() const { return reuseIdentifier_; }
    bool isSelected() const { return selected_; }

    virtual void awakeFromNib() {}
    virtual void setSelected(bool selected, bool animated);

private:
    std::optional<std::string> reuseIdentifier_;
    bool selected_ = false;
};

}  // namespace OrvikFramework
