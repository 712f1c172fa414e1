// Scan, selection by name, connection, discovery, notifications and writes against the simulated stack.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/OrvikFramework.h>

#include "support/Bytes.h"
#include "support/SdkFixtures.h"

namespace OrvikFramework {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Testing::drainMainLoop;
using BluetoothCentral = Testing::SimulatedSdk;

TEST_F(BluetoothCentral, ScanPicksTheExactNameConnectsDiscoversAndKeepsNotifications) {
    link.addAdvertiser("Printer");
    link.addAdvertiser(std::nullopt);
    link.addAdvertiser("printer-58");
    link.addAdvertiser("Printer-58 ");
    scanFor("Printer-58");
    EXPECT_EQ(sdk.BLEDevice, nullptr);

    SimulatedPrinter& printer = link.addPrinter("Printer-58", -42);  // advertises after the scan began
    drainMainLoop();
    ASSERT_NE(sdk.BLEDevice, nullptr);
    EXPECT_EQ(sdk.BLEDevice->RSSI, -42);
    EXPECT_FALSE(sdk.BLEDevice->isConnected);
    const std::string enter = "\"Enter centralManager\"", leave = "\"Leave centralManager\"";
    EXPECT_THAT(log.lines(), ElementsAre("\"Connect WIRELESSS_INTERFACE.BLUETOOTH : Printer-58\"", "\"BLEDeviceScanStart End: Printer-58\"",
                                         "\"BT poweredOn\"", enter, leave, enter, leave, enter, leave, enter, leave,
                                         "\"BT SCAN : Printer\"", "\"BT SCAN : No name\"", "\"BT SCAN : printer-58\"",
                                         "\"BT SCAN : Printer-58 \"", enter, leave, "\"BT SCAN : Printer-58\"", "\"Signal......\""));

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

// The printer kept is the one advertising exactly the wanted name; of two found in one turn, the last processed.
TEST(BluetoothNames, MatchingIsExactUnnamedDevicesReadAsNoNameAndTheLastMatchIsKept) {
    struct Case {
        std::vector<std::optional<std::string>> advertised;  // the first at RSSI -80, the next at -79
        std::string wanted;
        std::optional<std::int32_t> keptRssi;
    };
    const Case cases[] = {
        {{std::nullopt}, "No name", -80},
        {{std::nullopt}, "", std::nullopt},
        {{""}, "", -80},
        {{"Printer"}, "printer", std::nullopt},
        {{"Printer"}, "Print", std::nullopt},
        {{"\xC3\xA9"}, "e\xCC\x81", std::nullopt},  // same text in another normalisation form
        {{"\xC3\xA9"}, "\xC3\xA9", -80},
        {{"P", "P"}, "P", -79},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted);
        Testing::SimulatedLink link;
        for (std::size_t i = 0; i < c.advertised.size(); ++i) link.addPrinter(c.advertised[i], -80 + std::int64_t(i));
        Testing::LogCapture log;
        Orvik sdk;
        sdk.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, c.wanted, "");
        drainMainLoop();
        EXPECT_EQ(sdk.BLEDevice ? std::optional(sdk.BLEDevice->RSSI) : std::nullopt, c.keptRssi);
    }
}

// A device offering other services and characteristics beside the printer's; reports with an error change nothing.
TEST_F(BluetoothCentral, DiscoveryPicksThePrinterCharacteristicsAndIgnoresErrorReports) {
    const BluetoothUUID battery = *BluetoothUUID::parse("180F"), level = *BluetoothUUID::parse("2A19");
    const auto device = link.bluetooth->addDevice(
        {"P", -50, {{battery, {{level, {}}}}, {SimulatedPrinter::serviceUUID,
                    {{level, {}}, {SimulatedPrinter::txUUID, {}}, {SimulatedPrinter::rxUUID, {}}}}}});
    ASSERT_TRUE(link.bringUp(sdk, "P"));
    EXPECT_EQ(sdk.RXCharacteristic->uuid(), sdk.RXCharacteristicUUID);
    EXPECT_EQ(sdk.TXCharacteristic->uuid(), sdk.TXCharacteristicUUID);
    device->notify(SimulatedPrinter::txUUID, {1});
    device->notify(level, {2});
    drainMainLoop();
    EXPECT_EQ(sdk.RecevedData, Data{1});

    const auto peripheral = sdk.ConnectedBLEDevice;
    const PlatformError error{"boom"};
    sdk.RecevedData = Data{9};
    sdk.peripheralDidUpdateValueFor(*peripheral, sdk.TXCharacteristic, error);
    sdk.peripheralDidUpdateValueFor(*peripheral, sdk.RXCharacteristic, std::nullopt);
    sdk.peripheralDidUpdateValueFor(*peripheral, nullptr, std::nullopt);
    EXPECT_EQ(sdk.RecevedData, Data{9});
    const auto printerService = peripheral->services()->at(0);
    sdk.RXCharacteristic.reset();
    sdk.peripheralDidDiscoverServices(*peripheral, error);
    sdk.peripheralDidDiscoverCharacteristicsFor(*peripheral, printerService, error);
    sdk.peripheralDidDiscoverCharacteristicsFor(*peripheral, nullptr, std::nullopt);
    drainMainLoop();
    EXPECT_EQ(sdk.RXCharacteristic, nullptr);
    sdk.peripheralDidDiscoverServices(*peripheral, std::nullopt);  // asks for the characteristics again
    drainMainLoop();
    EXPECT_NE(sdk.RXCharacteristic, nullptr);

    sdk.centralManagerDidFailToConnect(*sdk.BLEManager, peripheral, std::nullopt);
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
    sdk.centralManagerDidDisconnectPeripheral(*sdk.BLEManager, peripheral, std::nullopt);  // nothing left to clear
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
}

TEST_F(BluetoothCentral, RadioOffThenOnRestartsTheScanAndConnectFailureIsSurvived) {
    link.bluetooth->setPoweredOn(false);
    link.addPrinter("P");
    scanFor("P");
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

    link.bluetooth->setConnectFails(false);
    EXPECT_TRUE(sdk.Connect("", 0));
    drainMainLoop();
    ASSERT_NE(sdk.RXCharacteristic, nullptr);
    sdk.PrintText("ok");
    EXPECT_EQ(link.received(), (Data{'o', 'k', 0x0D, 0x0A}));
}

// Every refused piece is logged; the one refused outright by the stack and the ones after the drop alike.
TEST_F(BluetoothCentral, RefusedWritesAndALinkDropMidJobKeepEarlierPiecesAndLogEveryRefusedOne) {
    ASSERT_TRUE(connectPrinter());
    const std::string refused = "BLE write refused by the Bluetooth stack (link down or write rejected): ";
    link.bluetooth->setRejectWrites(true);
    sdk.InitPrinter();
    sdk.BLESend(std::string_view("abc"));
    EXPECT_TRUE(link.writes.empty());
    EXPECT_THAT(log.lines(), ElementsAre("1b40", "\"Send Size : 2\"", refused + "2 bytes not sent", refused + "3 bytes not sent"));

    link.bluetooth->setRejectWrites(false);
    sdk.MTU = 4;
    printer->device().dropLinkAfterWrites(2);
    log.clear();
    sdk.PrintData(Data(14, 0x41));
    EXPECT_EQ(link.received(), Data(8, 0x41));
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), refused + "4 bytes not sent"), 1);
    EXPECT_TRUE(log.contains(refused + "2 bytes not sent"));
    drainMainLoop();
    // The loss is reported with an error, so the link keeps its last known state.
    EXPECT_NE(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_FALSE(printer->device().isConnected());

    EXPECT_TRUE(sdk.Connect("", 0));
    drainMainLoop();
    link.writes.clear();
    sdk.CutPaper();
    EXPECT_EQ(link.received(), (Data{0x1B, 0x6D}));
}

TEST_F(BluetoothCentral, DisconnectDropsTheLinkAfterTheWholeJob) {
    sdk.MTU = 3;
    ASSERT_TRUE(connectPrinter());
    sdk.PrintText("receipt tail");
    sdk.Disconnect();
    EXPECT_EQ(link.received(), Testing::text("receipt tail\r\n"));
    EXPECT_TRUE(log.contains("\"Disconnect WIRELESSS_INTERFACE.BLUETOOTH : P\""));
    EXPECT_FALSE(sdk.bConnect);
    drainMainLoop();
    EXPECT_FALSE(printer->device().isConnected());
    EXPECT_EQ(sdk.ConnectedBLEDevice, nullptr);
    EXPECT_NE(sdk.BLEDevice, nullptr);
    EXPECT_NE(sdk.RXCharacteristic, nullptr);
}

TEST_F(BluetoothCentral, QueuedReportsAfterTheSdkObjectIsGoneAreDropped) {
    SimulatedPrinter& printer = link.addPrinter("P");
    {
        Orvik gone;
        ASSERT_TRUE(link.bringUp(gone, "P"));
        printer.notify({1});
        gone.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 512, "P", "");  // reports queued for the new manager
    }
    printer.device().dropLink();
    drainMainLoop();  // must not reach the destroyed object (the sanitizer build checks)
}

TEST_F(BluetoothCentral, ScanStartReportsDuplicatesOnlyOnceTheRadioIsOn) {
    link.addAdvertiser("A");
    sdk.BLEDeviceScanStart();  // no manager: nothing happens
    scanFor("none");
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

// What the four write operations log and hand to the printer.
TEST_F(BluetoothCentral, WritePiecesAndTheirLogLinesFollowMtuAndTheGzipAnnouncement) {
    ASSERT_TRUE(connectPrinter());
    const Data announce3{0x1B, 0xFF, 0xFA, 0x03, 0, 0, 0, 0, 0, 0, 0};
    const std::string hex512(1024, 'a');  // the log line of a whole 512-byte piece
    // The MTU, the buffer, and the writes and log lines it makes.
    const std::tuple<std::int64_t, Data, std::vector<Data>, std::vector<std::string>> cases[] = {
        {512, Data(1025, 0xAA), {Data(512, 0xAA), Data(512, 0xAA), {0xAA}},
         {hex512, "\"Send Size : 512\"", hex512, "\"Send Size : 512\"", "aa", "\"Send Size : 1\""}},
        {4, {1, 2, 3, 4}, {{1, 2, 3, 4}}, {"01020304", "\"Send Size : 4\""}},
        {3, {1, 2, 3, 4}, {{1, 2, 3}, {4}}, {"010203", "\"Send Size : 3\"", "04", "\"Send Size : 1\""}},
        {0, {0xAA, 0xBB}, {{0xAA}, {0xBB}}, {"aa", "\"Send Size : 1\"", "bb", "\"Send Size : 1\""}},
        {-3, {0xAA}, {{0xAA}}, {"aa", "\"Send Size : 1\""}},
        {512, {}, {}, {}},
        {512, {0x1F, 0x8B, 0x08}, {announce3, {0x1F, 0x8B, 0x08}}, {"\"Send Size : 11\"", "1f8b08", "\"Send Size : 3\""}},
        {2, {0x1F, 0x8B, 0x08}, {announce3, {0x1F, 0x8B}, {0x08}},
         {"\"Send Size : 11\"", "1f8b", "\"Send Size : 2\"", "08", "\"Send Size : 1\""}},
    };
    for (const auto& [mtu, buffer, writes, lines] : cases) {
        link.writes.clear();
        log.clear();
        sdk.MTU = mtu;
        sdk.BLESend(buffer);
        EXPECT_EQ(link.writes, writes) << "MTU " << mtu;
        EXPECT_EQ(log.lines(), lines) << "MTU " << mtu;
    }
}

// Text is cut by characters (the cutting is table-tested with the framing), single writes not at all; neither logs.
TEST_F(BluetoothCentral, TextAndSingleWritesNeedTheCharacteristicAndTheRecord) {
    ASSERT_TRUE(connectPrinter());
    const std::string thumbsUpDark = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBF";
    sdk.MTU = 1;
    sdk.BLESend(std::string_view(thumbsUpDark + "!"));
    sdk.BLESend(Data{1, 2, 3}, CharacteristicWriteType::withoutResponse);
    sdk.BLESend(Data{}, CharacteristicWriteType::withResponse);
    sdk.BLESend(std::string_view("xyz"), CharacteristicWriteType::withResponse);
    EXPECT_THAT(link.writes, ElementsAreArray({Testing::text(thumbsUpDark), Data{'!'}, Data{1, 2, 3}, Data{}, Data{'x', 'y', 'z'}}));
    EXPECT_TRUE(log.lines().empty());

    link.writes.clear();
    sdk.MTU = 512;
    sdk.BLEDevice.reset();
    sdk.BLESend(Data{0x1B, 0x40});
    sdk.BLESend(std::string_view("x"), CharacteristicWriteType::withoutResponse);
    EXPECT_TRUE(link.writes.empty());
    EXPECT_THAT(log.lines(), ElementsAre("1b40", "\"Send Size : 2\""));

    log.clear();
    sdk.RXCharacteristic.reset();
    sdk.BLESend(Data{0x1F, 0x8B});
    sdk.BLESend(std::string_view("x"));
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace OrvikFramework
