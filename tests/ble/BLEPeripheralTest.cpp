// The scan-result record and the device-list cell.
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/SimulatedLink.h"

namespace OrvikFramework {
namespace {

class NamedPeripheral : public Peripheral {
public:
    explicit NamedPeripheral(std::optional<std::string> name) : name_(std::move(name)) {}
    std::optional<std::string> name() const override { return name_; }
    void setDelegate(PeripheralDelegate*) override {}
    void discoverServices(const std::vector<BluetoothUUID>&) override {}
    void discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>&, const std::shared_ptr<Service>&) override {}
    void setNotifyValue(bool, const std::shared_ptr<Characteristic>&) override {}
    bool writeValue(const Data&, const std::shared_ptr<Characteristic>&, CharacteristicWriteType) override { return false; }
    std::optional<std::vector<std::shared_ptr<Service>>> services() const override { return std::nullopt; }
    bool isEqual(const Peripheral& other) const override { return &other == this; }

private:
    std::optional<std::string> name_;
};

TEST(BLEPeripheral, NameFallsBackOnlyWhenAbsent) {
    EXPECT_EQ(BLEPeripheral(std::make_shared<NamedPeripheral>(std::nullopt)).name(), "No name");
    EXPECT_EQ(BLEPeripheral(std::make_shared<NamedPeripheral>("")).name(), "");
    EXPECT_EQ(BLEPeripheral(std::make_shared<NamedPeripheral>("P-58")).name(), "P-58");
    EXPECT_EQ(BLEPeripheral(nullptr).name(), "No name");
}

TEST(BLEPeripheral, EqualityGoesByDeviceOnly) {
    auto device = std::make_shared<NamedPeripheral>("P");
    const BLEPeripheral weak(device, -90, false);
    const BLEPeripheral strong(device, -20, true);
    const BLEPeripheral sameName(std::make_shared<NamedPeripheral>("P"), -90, false);
    const BLEPeripheral empty(nullptr);
    EXPECT_TRUE(weak.isEqual(&strong));
    EXPECT_FALSE(weak.isEqual(&sameName));
    EXPECT_FALSE(weak.isEqual(nullptr));
    EXPECT_FALSE(empty.isEqual(&empty));
    EXPECT_EQ(BLEPeripheral(device).RSSI, 0);
    EXPECT_FALSE(BLEPeripheral(device).isConnected);
}

TEST(BLEPeripheral, SimulatedHandlesOfOneDeviceAreEqual) {
    Testing::SimulatedLink link;
    link.addPrinter("P");
    Orvik sdk;
    ASSERT_TRUE(link.bringUp(sdk, "P"));
    EXPECT_TRUE(BLEPeripheral(sdk.ConnectedBLEDevice).isEqual(sdk.BLEDevice.get()));
}

TEST(BLEDeviceCell, OutletsStartEmptyAndDoNotOwnTheirLabels) {
    BLEDeviceCell cell(std::string("device"));
    EXPECT_TRUE(cell.lblDevice.expired());
    EXPECT_TRUE(cell.lblRSSI.expired());
    EXPECT_EQ(cell.reuseIdentifier(), "device");
    auto name = std::make_shared<Label>();
    cell.lblDevice = name;
    cell.lblDevice.lock()->text = "P-58";
    EXPECT_EQ(name->text, "P-58");
    name.reset();
    EXPECT_TRUE(cell.lblDevice.expired());
    cell.setSelected(true, false);
    EXPECT_TRUE(cell.isSelected());
}

}  // namespace
}  // namespace OrvikFramework
