// The scan-result record.
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/sim/Simulator.h>

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

}  // namespace
}  // namespace OrvikFramework
