// The scan-result record: equal by device, never by name; a record without a device is nobody.
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>
#include <orvik/sim/Simulator.h>

namespace OrvikFramework {
namespace {

TEST(BLEPeripheral, EqualityGoesByDeviceAndARecordWithoutOneIsNoName) {
    SimulatedBluetooth adapter;
    const auto device = [&adapter] { return std::dynamic_pointer_cast<Peripheral>(adapter.addDevice({"P", -60, {}})); };
    const auto printer = device();
    const BLEPeripheral weak(printer, -90, false), strong(printer, -20, true), sameName(device(), -90, false), empty(nullptr);
    EXPECT_TRUE(weak.isEqual(&strong));
    EXPECT_FALSE(weak.isEqual(&sameName));
    EXPECT_FALSE(weak.isEqual(nullptr));
    EXPECT_FALSE(empty.isEqual(&empty));
    EXPECT_EQ(empty.name(), "No name");
}

}  // namespace
}  // namespace OrvikFramework
