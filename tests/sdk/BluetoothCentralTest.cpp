// Scan, selection by name, connection, discovery and notifications against the simulated stack.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/LogCapture.h"
#include "support/SimulatedLink.h"

namespace OrvikFramework {
namespace {

using ::testing::ElementsAre;
using Testing::drainMainLoop;

TEST(BluetoothCentral, ScanPicksTheExactNameConnectsDiscoversAndKeepsNotifications) {
    Testing::SimulatedLink link;
    link.addAdvertiser("Printer");
    link.addAdvertiser(std::nullopt);
    link.addAdvertiser("printer-58");
    link.addAdvertiser("Printer-58 ");
    Testing::LogCapture log;
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "Printer-58", "");
    drainMainLoop();
    EXPECT_EQ(sdk.BLEDevice, nullptr);
    EXPECT_FALSE(sdk.Connect("", 0));

    SimulatedPrinter& printer = link.addPrinter("Printer-58", -42);  // advertises after the scan began
    drainMainLoop();
    ASSERT_NE(sdk.BLEDevice, nullptr);
    EXPECT_EQ(sdk.BLEDevice->RSSI, -42);
    EXPECT_FALSE(sdk.BLEDevice->isConnected);
    EXPECT_THAT(log.lines(), ElementsAre("\"Connect WIRELESSS_INTERFACE.BLUETOOTH : Printer-58\"",
                                         "\"BLEDeviceScanStart End: Printer-58\"", "\"BT poweredOn\"",
                                         "\"Enter centralManager\"", "\"Leave centralManager\"", "\"Enter centralManager\"",
                                         "\"Leave centralManager\"", "\"Enter centralManager\"", "\"Leave centralManager\"",
                                         "\"Enter centralManager\"", "\"Leave centralManager\"", "\"BT SCAN : Printer\"",
                                         "\"BT SCAN : No name\"", "\"BT SCAN : printer-58\"", "\"BT SCAN : Printer-58 \"",
                                         "\"Enter centralManager\"", "\"Leave centralManager\"", "\"BT SCAN : Printer-58\"",
                                         "\"Signal......\""));

    log.clear();
    EXPECT_TRUE(sdk.Connect("ignored", 1));
    EXPECT_TRUE(sdk.bConnect);
    EXPECT_THAT(log.lines(), ElementsAre("Optional(false)", "\"BLEDeviceScanStart End: Printer-58\""));
    drainMainLoop();
    ASSERT_NE(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_TRUE(sdk.ConnectedBLEDevice->isEqual(*sdk.BLEDevice->peripheral));
    ASSERT_NE(sdk.RXCharacteristic, nullptr);
    ASSERT_NE(sdk.TXCharacteristic, nullptr);
    EXPECT_EQ(sdk.RXCharacteristic->uuid().uuidString(), "6E400002-B5A3-F393-E0A9-E50E24DCCA9E");
    EXPECT_EQ(sdk.TXCharacteristic->uuid().uuidString(), "6E400003-B5A3-F393-E0A9-E50E24DCCA9E");

    printer.notify({0x10, 0x04});
    printer.notify({0x12});
    drainMainLoop();
    EXPECT_EQ(sdk.RecevedData, (Data{0x12}));
}

TEST(BluetoothCentral, NameMatchingIsExactAndUnnamedDevicesReadAsNoName) {
    struct Case {
        std::optional<std::string> advertised;
        std::string wanted;
        bool matches;
    };
    const Case cases[] = {
        {std::nullopt, "No name", true},
        {std::nullopt, "", false},
        {"", "", true},
        {"Printer", "printer", false},
        {"Printer", "Print", false},
        {"\xC3\xA9", "e\xCC\x81", false},  // same text in another normalisation form
        {"\xC3\xA9", "\xC3\xA9", true},
    };
    for (const Case& c : cases) {
        Testing::SimulatedLink link;
        link.addPrinter(c.advertised);
        Testing::LogCapture log;
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, c.wanted, "");
        drainMainLoop();
        EXPECT_EQ(sdk.BLEDevice != nullptr, c.matches) << c.advertised.value_or("(none)") << " vs " << c.wanted;
    }
}

TEST(BluetoothCentral, TwoMatchingPrintersFoundInOneTurnKeepTheLastProcessed) {
    Testing::SimulatedLink link;
    link.addPrinter("P", -80);
    link.addPrinter("P", -30);
    Testing::LogCapture log;
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");
    drainMainLoop();
    ASSERT_NE(sdk.BLEDevice, nullptr);
    EXPECT_EQ(sdk.BLEDevice->RSSI, -30);
}

// Scripts a peripheral's reports by hand, for the callback paths the simulated printer never takes.
class ScriptedPeripheral : public Peripheral {
public:
    std::optional<std::string> name() const override { return "P"; }
    void setDelegate(PeripheralDelegate* delegate) override { this->delegate = delegate; }
    void discoverServices(const std::vector<BluetoothUUID>&) override { ++serviceRequests; }
    void discoverCharacteristics(const std::optional<std::vector<BluetoothUUID>>&, const std::shared_ptr<Service>& service) override {
        characteristicRequests.push_back(service);
    }
    void setNotifyValue(bool, const std::shared_ptr<Characteristic>&) override { ++notifyRequests; }
    bool writeValue(const Data&, const std::shared_ptr<Characteristic>&, CharacteristicWriteType) override { return true; }
    std::optional<std::vector<std::shared_ptr<Service>>> services() const override { return serviceList; }
    bool isEqual(const Peripheral& other) const override { return &other == this; }

    PeripheralDelegate* delegate = nullptr;
    int serviceRequests = 0;
    int notifyRequests = 0;
    std::vector<std::shared_ptr<Service>> characteristicRequests;
    std::optional<std::vector<std::shared_ptr<Service>>> serviceList;
};

struct FixedCharacteristic : Characteristic {
    FixedCharacteristic(BluetoothUUID id, std::optional<Data> v) : id(id), v(std::move(v)) {}
    BluetoothUUID uuid() const override { return id; }
    std::optional<Data> value() const override { return v; }
    BluetoothUUID id;
    std::optional<Data> v;
};

struct FixedService : Service {
    FixedService(BluetoothUUID id, std::optional<std::vector<std::shared_ptr<Characteristic>>> list) : id(id), list(std::move(list)) {}
    BluetoothUUID uuid() const override { return id; }
    std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics() const override { return list; }
    BluetoothUUID id;
    std::optional<std::vector<std::shared_ptr<Characteristic>>> list;
};

BluetoothUUID uuid(const char* text) { return *BluetoothUUID::parse(text); }

TEST(BluetoothCentral, CallbacksFollowTheReportsAndIgnoreErrorsAndAbsentLists) {
    Testing::SimulatedLink link;
    Orvik sdk;
    auto peripheral = std::make_shared<ScriptedPeripheral>();
    CentralManager& central = *link.bluetooth->makeCentralManager(nullptr);
    const PlatformError error{"boom"};

    sdk.centralManagerDidConnect(central, peripheral);
    EXPECT_EQ(sdk.ConnectedBLEDevice, peripheral);
    EXPECT_EQ(peripheral->delegate, &sdk);
    EXPECT_EQ(peripheral->serviceRequests, 1);

    sdk.peripheralDidDiscoverServices(*peripheral, std::nullopt);  // absent list: nothing to walk
    auto other = std::make_shared<FixedService>(uuid("180F"), std::nullopt);
    auto printerService = std::make_shared<FixedService>(
        sdk.ServiceUUID, std::vector<std::shared_ptr<Characteristic>>{
                             std::make_shared<FixedCharacteristic>(uuid("2A19"), std::nullopt), nullptr,
                             std::make_shared<FixedCharacteristic>(sdk.TXCharacteristicUUID, std::nullopt),
                             std::make_shared<FixedCharacteristic>(sdk.RXCharacteristicUUID, std::nullopt)});
    peripheral->serviceList = std::vector<std::shared_ptr<Service>>{other, nullptr, printerService};
    sdk.peripheralDidDiscoverServices(*peripheral, error);
    EXPECT_TRUE(peripheral->characteristicRequests.empty());
    sdk.peripheralDidDiscoverServices(*peripheral, std::nullopt);
    EXPECT_THAT(peripheral->characteristicRequests, ElementsAre(printerService));

    sdk.peripheralDidDiscoverCharacteristicsFor(*peripheral, std::make_shared<FixedService>(sdk.ServiceUUID, std::nullopt),
                                                std::nullopt);
    EXPECT_EQ(sdk.RXCharacteristic, nullptr);
    sdk.peripheralDidDiscoverCharacteristicsFor(*peripheral, printerService, error);
    EXPECT_EQ(sdk.RXCharacteristic, nullptr);
    sdk.peripheralDidDiscoverCharacteristicsFor(*peripheral, printerService, std::nullopt);
    ASSERT_NE(sdk.RXCharacteristic, nullptr);
    EXPECT_EQ(sdk.RXCharacteristic->uuid(), sdk.RXCharacteristicUUID);
    EXPECT_EQ(sdk.TXCharacteristic->uuid(), sdk.TXCharacteristicUUID);
    EXPECT_EQ(peripheral->notifyRequests, 1);
    sdk.peripheralDidDiscoverCharacteristicsFor(*peripheral, other, std::nullopt);  // another service re-requests
    EXPECT_EQ(peripheral->notifyRequests, 2);

    auto tx = std::make_shared<FixedCharacteristic>(sdk.TXCharacteristicUUID, Data{1});
    auto rx = std::make_shared<FixedCharacteristic>(sdk.RXCharacteristicUUID, Data{2});
    sdk.peripheralDidUpdateValueFor(*peripheral, tx, std::nullopt);
    sdk.peripheralDidUpdateValueFor(*peripheral, rx, std::nullopt);
    sdk.peripheralDidUpdateValueFor(*peripheral, std::make_shared<FixedCharacteristic>(sdk.TXCharacteristicUUID, Data{3}), error);
    EXPECT_EQ(sdk.RecevedData, (Data{1}));
    sdk.peripheralDidUpdateValueFor(*peripheral, std::make_shared<FixedCharacteristic>(sdk.TXCharacteristicUUID, std::nullopt),
                                    std::nullopt);
    EXPECT_EQ(sdk.RecevedData, std::nullopt);

    sdk.centralManagerDidDisconnectPeripheral(central, peripheral, error);
    EXPECT_EQ(sdk.ConnectedBLEDevice, peripheral);
    sdk.centralManagerDidFailToConnect(central, peripheral, std::nullopt);
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_EQ(peripheral->delegate, nullptr);
    EXPECT_NE(sdk.RXCharacteristic, nullptr);
    sdk.centralManagerDidDisconnectPeripheral(central, peripheral, std::nullopt);  // nothing left to clear
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
}

TEST(BluetoothCentral, RadioOffThenOnRestartsTheScanAndConnectFailureIsSurvived) {
    Testing::SimulatedLink link;
    link.bluetooth->setPoweredOn(false);
    link.addPrinter("P");
    Testing::LogCapture log;
    Orvik sdk;
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");
    drainMainLoop();
    EXPECT_EQ(sdk.BLEDevice, nullptr);
    EXPECT_FALSE(log.contains("\"BT poweredOn\""));

    link.bluetooth->setPoweredOn(true);
    drainMainLoop();
    ASSERT_NE(sdk.BLEDevice, nullptr);

    link.bluetooth->setConnectFails(true);
    EXPECT_TRUE(sdk.Connect("", 0));
    drainMainLoop();
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_EQ(sdk.RXCharacteristic, nullptr);
    log.clear();
    sdk.PrintText("lost");  // no characteristic yet: nothing to write to
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(link.writes.empty());

    link.bluetooth->setConnectFails(false);
    EXPECT_TRUE(sdk.Connect("", 0));
    drainMainLoop();
    ASSERT_NE(sdk.RXCharacteristic, nullptr);
    sdk.PrintText("ok");
    EXPECT_EQ(link.received(), (Data{'o', 'k', 0x0D, 0x0A}));
}

TEST(BluetoothCentral, LinkDropMidJobKeepsEarlierPiecesAndLogsEveryRefusedOne) {
    Testing::SimulatedLink link;
    SimulatedPrinter& printer = link.addPrinter("P");
    Orvik sdk;
    sdk.MTU = 4;
    ASSERT_TRUE(link.bringUp(sdk, "P"));
    printer.device().dropLinkAfterWrites(2);
    Testing::LogCapture log;
    sdk.PrintData(Data(14, 0x41));
    EXPECT_EQ(link.received(), Data(8, 0x41));
    EXPECT_EQ(std::count_if(log.lines().begin(), log.lines().end(),
                            [](const std::string& line) { return line.find("4 bytes not sent") != std::string::npos; }),
              1);
    EXPECT_TRUE(log.contains("BLE write refused by the Bluetooth stack (link down or write rejected): 2 bytes not sent"));
    drainMainLoop();
    // The loss is reported with an error, so the link keeps its last known state.
    EXPECT_NE(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_FALSE(printer.device().isConnected());

    EXPECT_TRUE(sdk.Connect("", 0));
    drainMainLoop();
    link.writes.clear();
    sdk.CutPaper();
    EXPECT_EQ(link.received(), (Data{0x1B, 0x6D}));
}

TEST(BluetoothCentral, RejectedWritesAreLoggedNotSent) {
    Testing::SimulatedLink link;
    link.addPrinter("P");
    Orvik sdk;
    ASSERT_TRUE(link.bringUp(sdk, "P"));
    link.bluetooth->setRejectWrites(true);
    Testing::LogCapture log;
    sdk.InitPrinter();
    sdk.BLESend(std::string_view("abc"));
    EXPECT_TRUE(link.writes.empty());
    EXPECT_THAT(log.lines(), ElementsAre("1b40", "\"Send Size : 2\"",
                                         "BLE write refused by the Bluetooth stack (link down or write rejected): 2 bytes not sent",
                                         "BLE write refused by the Bluetooth stack (link down or write rejected): 3 bytes not sent"));
}

TEST(BluetoothCentral, DisconnectDropsTheLinkAfterTheWholeJob) {
    Testing::SimulatedLink link;
    SimulatedPrinter& printer = link.addPrinter("P");
    Orvik sdk;
    sdk.MTU = 3;
    ASSERT_TRUE(link.bringUp(sdk, "P"));
    Testing::LogCapture log;
    sdk.PrintText("receipt tail");
    sdk.Disconnect();
    EXPECT_EQ(link.received(), (Data{'r', 'e', 'c', 'e', 'i', 'p', 't', ' ', 't', 'a', 'i', 'l', 0x0D, 0x0A}));
    EXPECT_TRUE(log.contains("\"Disconnect WIRELESSS_INTERFACE.BLUETOOTH : P\""));
    EXPECT_FALSE(sdk.bConnect);
    drainMainLoop();
    EXPECT_FALSE(printer.device().isConnected());
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_NE(sdk.BLEDevice, nullptr);
    EXPECT_NE(sdk.RXCharacteristic, nullptr);
}

TEST(BluetoothCentral, QueuedReportsAfterTheSdkObjectIsGoneAreDropped) {
    Testing::SimulatedLink link;
    SimulatedPrinter& printer = link.addPrinter("P");
    {
        Orvik sdk;
        ASSERT_TRUE(link.bringUp(sdk, "P"));
        printer.notify({1});
        sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");  // reports queued for the new manager
    }
    printer.device().dropLink();
    drainMainLoop();  // must not reach the destroyed object (the sanitizer build checks)
    SUCCEED();
}

TEST(BluetoothCentral, ScanStartReportsDuplicatesOnlyOnceTheRadioIsOn) {
    Testing::SimulatedLink link;
    link.addAdvertiser("A");
    Testing::LogCapture log;
    Orvik sdk;
    sdk.BLEDeviceScanStart();  // no manager: nothing happens
    sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "none", "");
    drainMainLoop();
    log.clear();
    sdk.BLEDeviceScanStart();
    sdk.BLEDeviceScanStart();
    drainMainLoop();
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), "\"BT SCAN : A\""), 2);
    sdk.BLEDeviceScanStop();
    link.addAdvertiser("B");
    drainMainLoop();
    EXPECT_FALSE(log.contains("\"BT SCAN : B\""));
}

}  // namespace
}  // namespace OrvikFramework
