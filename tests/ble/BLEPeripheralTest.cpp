// The scan-result record and the device-list cell.
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/Simulator.h>

namespace OrvikFramework {
namespace {

std::shared_ptr<Peripheral> device(SimulatedBluetooth& adapter, std::optional<std::string> name) {
    return std::dynamic_pointer_cast<Peripheral>(adapter.addDevice({std::move(name), -60, {}}));
}

TEST(BLEPeripheral, NameFallsBackOnlyWhenAbsentAndEqualityGoesByDevice) {
    SimulatedBluetooth adapter;
    EXPECT_EQ(BLEPeripheral(device(adapter, std::nullopt)).name(), "No name");
    EXPECT_EQ(BLEPeripheral(device(adapter, "")).name(), "");
    EXPECT_EQ(BLEPeripheral(nullptr).name(), "No name");

    const auto printer = device(adapter, "P");
    const BLEPeripheral weak(printer, -90, false);
    const BLEPeripheral strong(printer, -20, true);
    const BLEPeripheral sameName(device(adapter, "P"), -90, false);
    const BLEPeripheral empty(nullptr);
    EXPECT_EQ(weak.name(), "P");
    EXPECT_TRUE(weak.isEqual(&strong));
    EXPECT_FALSE(weak.isEqual(&sameName));
    EXPECT_FALSE(weak.isEqual(nullptr));
    EXPECT_FALSE(empty.isEqual(&empty));
    EXPECT_EQ(BLEPeripheral(printer).RSSI, 0);
}

TEST(BLEDeviceCell, OutletsStartEmptyAndDoNotOwnTheirLabels) {
    BLEDeviceCell cell(std::string("device"));
    EXPECT_TRUE(cell.lblDevice.expired());
    EXPECT_TRUE(cell.lblRSSI.expired());
    EXPECT_EQ(cell.reuseIdentifier(), "device");
    auto name = std::make_shared<Label>();
    cell.lblDevice = name;
    name.reset();
    EXPECT_TRUE(cell.lblDevice.expired());
    cell.setSelected(true, false);
    EXPECT_TRUE(cell.isSelected());
}

}  // namespace
}  // namespace OrvikFramework
