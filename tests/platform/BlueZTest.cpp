// The BlueZ central back-end against python-dbusmock's BlueZ on a private bus.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <orvik/DBus.h>
#include <orvik/Orvik.h>
#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

#include "platform/linux/BlueZ.h"
#include "support/Bytes.h"
#include "support/LogCapture.h"
#include "support/MockBus.h"
#include "support/OrvikCli.h"

namespace OrvikFramework {
namespace {

using namespace std::chrono_literals;
using Testing::LogCapture;
using Testing::MockBus;
using ::testing::Contains;
using ::testing::ElementsAre;
using Properties = std::map<std::string, sdbus::Variant>;
using Method = sdbus::Struct<std::string, std::string, std::string, std::string>;

constexpr const char* serviceUUID = "6e400001-b5a3-f393-e0a9-e50e24dcca9e";
constexpr const char* rxUUID = "6e400002-b5a3-f393-e0a9-e50e24dcca9e";
constexpr const char* txUUID = "6e400003-b5a3-f393-e0a9-e50e24dcca9e";
constexpr const char* printerAddress = "AA:BB:CC:00:00:01";

// Records every report as a line and keeps the peripherals the reports hand over.
struct Recorder : CentralManagerDelegate, PeripheralDelegate {
    std::vector<std::string> events;
    std::map<std::string, std::shared_ptr<Peripheral>> seen;
    void note(std::string event, const std::optional<PlatformError>& error = std::nullopt) {
        events.push_back(event + (error ? " error: " + error->localizedDescription : ""));
    }
    static std::string name(const std::shared_ptr<Peripheral>& p) { return p->name().value_or(""); }
    void centralManagerDidUpdateState(CentralManager& c) override { note("state " + std::to_string(int(c.state()))); }
    void centralManagerDidDiscover(CentralManager&, const std::shared_ptr<Peripheral>& p, const AdvertisementData&,
                                   double RSSI) override {
        seen[name(p)] = p;
        note("discovered " + name(p) + " " + std::to_string(int(RSSI)));
    }
    void centralManagerDidConnect(CentralManager&, const std::shared_ptr<Peripheral>& p) override { note("connected " + name(p)); }
    void centralManagerDidDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>& p,
                                               const std::optional<PlatformError>& e) override { note("disconnected " + name(p), e); }
    void centralManagerDidFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>& p,
                                        const std::optional<PlatformError>& e) override { note("failed " + name(p), e); }
    void peripheralDidDiscoverServices(Peripheral&, const std::optional<PlatformError>& e) override { note("services", e); }
    void peripheralDidDiscoverCharacteristicsFor(Peripheral&, const std::shared_ptr<Service>&,
                                                 const std::optional<PlatformError>& e) override { note("characteristics", e); }
    void peripheralDidUpdateValueFor(Peripheral&, const std::shared_ptr<Characteristic>&,
                                     const std::optional<PlatformError>&) override {}
    void peripheralDidWriteValueFor(Peripheral&, const std::shared_ptr<Characteristic>&,
                                    const std::optional<PlatformError>& e) override { note("wrote", e); }
    bool has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

struct BlueZTest : ::testing::Test {
    void SetUp() override { bus.startMock({"--template", "bluez5"}, "org.bluez"); }

    // The mock's own AddAdapter and AddDevice on adapter hci0; AddDevice returns the device's path.
    void addAdapter() { bus.call<std::string>("org.bluez", "/org/bluez", "org.bluez.Mock", "AddAdapter", "hci0", "host"); }
    std::string addDevice(const std::string& address, const std::string& name) {
        return bus.call<std::string>("org.bluez", "/org/bluez", "org.bluez.Mock", "AddDevice", "hci0", address, name);
    }

    void addObject(const std::string& path, const std::string& interface, const Properties& properties,
                   const std::vector<Method>& methods) {
        bus.control("org.bluez", "/", "AddObject", path, interface, properties, methods);
        // The mock leaves announcing the object to us, as BlueZ does.
        const std::map<std::string, Properties> interfaces{{interface, properties}};
        bus.control("org.bluez", "/", "EmitSignal", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "oa{sa{sv}}",
                    std::vector{sdbus::Variant(sdbus::ObjectPath(path)), sdbus::Variant(interfaces)});
    }

    // The printer's service with its two characteristics, as BlueZ publishes them once services are resolved.
    void addPrinterGatt(const std::string& device) {
        const std::string service = device + "/service0010";
        addObject(service, "org.bluez.GattService1",
                  {{"UUID", sdbus::Variant(std::string(serviceUUID))}, {"Primary", sdbus::Variant(true)},
                   {"Device", sdbus::Variant(sdbus::ObjectPath(device))}},
                  {});
        for (const auto& [name, uuid] : {std::pair{"/char0011", rxUUID}, std::pair{"/char0013", txUUID}}) {
            addObject(service + name, "org.bluez.GattCharacteristic1",
                      {{"UUID", sdbus::Variant(std::string(uuid))},
                       {"Service", sdbus::Variant(sdbus::ObjectPath(service))},
                       {"Value", sdbus::Variant(std::vector<std::uint8_t>{})}},
                      {Method("WriteValue", "aya{sv}", "", ""), Method("StartNotify", "", "", ""),
                       Method("StopNotify", "", "", "")});
        }
    }

    // An adapter with the printer and its GATT objects.
    void addPrinter() {
        addAdapter();
        device = addDevice(printerAddress, "Printer");
        addPrinterGatt(device);
    }

    void update(const std::string& path, const std::string& interface, const Properties& properties) {
        bus.control("org.bluez", path, "UpdateProperties", interface, properties);
    }
    void replaceMethod(const std::string& path, const std::string& interface, const std::string& name,
                       const std::string& in, const std::string& code) {
        bus.control("org.bluez", path, "AddMethod", interface, name, in, "", code);
    }
    void setDevice(const std::string& device, const char* property, bool value) {
        update(device, "org.bluez.Device1", {{property, sdbus::Variant(value)}});
    }
    auto callsOf(const std::string& path, const std::string& method) { return bus.callsOf("org.bluez", path, method); }

    bool waitFor(const std::function<bool()>& done) { return RunLoop::main().runUntil(done, 10s); }
    bool waitForEvent(const std::string& event) { return waitFor([&] { return recorder.has(event); }); }

    void startManager(std::chrono::milliseconds serviceWait = 10s) {
        manager = BlueZCentralManager::create(link, &recorder, serviceWait);
        EXPECT_TRUE(waitFor([&] { return !recorder.events.empty(); }));
    }

    // A started manager that has scanned, connected to the printer and discovered its characteristics.
    void connectPrinter() {
        addPrinter();
        startManager();
        manager->scanForPeripherals(std::nullopt, ScanOptions{.allowDuplicates = true});
        ASSERT_TRUE(waitForEvent("discovered Printer -79"));
        printer = recorder.seen.at("Printer");
        printer->setDelegate(&recorder);
        ASSERT_TRUE(waitFor([&] { return callsOf("/org/bluez/hci0", "StartDiscovery").size() == 1; }));
        manager->stopScan();
        manager->connect(printer);
        ASSERT_TRUE(waitForEvent("connected Printer"));
        printer->discoverServices({*BluetoothUUID::parse(serviceUUID)});
        setDevice(device, "ServicesResolved", true);
        ASSERT_TRUE(waitForEvent("services"));
        discoverCharacteristics(*printer);
    }

    // The characteristics of the one service `p` has found; they become rx and tx.
    void discoverCharacteristics(Peripheral& p) {
        ASSERT_EQ(p.services()->size(), 1u);
        const auto service = p.services()->front();
        p.discoverCharacteristics(std::nullopt, service);
        ASSERT_TRUE(waitForEvent("characteristics"));
        ASSERT_EQ(service->characteristics()->size(), 2u);
        rx = service->characteristics()->at(0);
        tx = service->characteristics()->at(1);
    }

    LogCapture log;
    MockBus bus;
    std::shared_ptr<DBusLink> link = DBusLink::connect(bus.address(), RunLoop::main());
    Recorder recorder;
    // What connectPrinter and addPrinter leave.
    std::string device;
    std::shared_ptr<BlueZCentralManager> manager;
    std::shared_ptr<Peripheral> printer;
    std::shared_ptr<Characteristic> rx, tx;
};

TEST_F(BlueZTest, ScanConnectAndWriteAWholeJobInOrderThenDisconnectAfterItOrWhenTheServiceLeaves) {
    ASSERT_NO_FATAL_FAILURE(connectPrinter());
    EXPECT_EQ(recorder.events.front(), "state 5");
    EXPECT_EQ(printer->address(), printerAddress);

    const auto filter = callsOf("/org/bluez/hci0", "SetDiscoveryFilter");
    ASSERT_EQ(filter.size(), 1u);
    const auto options = filter[0][0].get<Properties>();
    EXPECT_EQ(options.at("Transport").get<std::string>(), "le");
    EXPECT_TRUE(options.at("DuplicateData").get<bool>());
    EXPECT_TRUE(waitFor([&] { return callsOf("/org/bluez/hci0", "StopDiscovery").size() == 1; }));

    std::vector<Data> pieces;
    for (int i = 0; i < 40; ++i) pieces.push_back(Data(i % 7 + 1, static_cast<std::uint8_t>(i)));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const auto type = i == 5 ? CharacteristicWriteType::withoutResponse : CharacteristicWriteType::withResponse;
        ASSERT_TRUE(printer->writeValue(pieces[i], rx, type));
    }
    // Disconnecting waits for the job; a lost link refuses writes.
    manager->cancelPeripheralConnection(printer);
    ASSERT_TRUE(waitForEvent("disconnected Printer"));
    const auto writes = callsOf(device + "/service0010/char0011", "WriteValue");
    ASSERT_EQ(writes.size(), pieces.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i][0].get<std::vector<std::uint8_t>>(), pieces[i]) << i;
        EXPECT_EQ(writes[i][1].get<Properties>().at("type").get<std::string>(), i == 5 ? "command" : "request");
    }
    EXPECT_EQ(callsOf(device, "Disconnect").size(), 1u);
    EXPECT_FALSE(printer->writeValue(Data{1}, rx, CharacteristicWriteType::withResponse));

    // The service leaving the bus disconnects and stops the radio.
    recorder.events.clear();
    manager->connect(printer);
    ASSERT_TRUE(waitForEvent("connected Printer"));
    bus.stopMock("org.bluez");
    EXPECT_TRUE(waitForEvent("disconnected Printer"));
    ASSERT_TRUE(waitForEvent("state 2"));
    EXPECT_THAT(log.lines(), Contains("BlueZ: the Bluetooth service left the bus"));
}

TEST_F(BlueZTest, FailuresOfTheStackReachTheReportsAndTheLog) {
    ASSERT_NO_FATAL_FAILURE(connectPrinter());
    recorder.events.clear();
    ASSERT_TRUE(printer->writeValue(Data{1}, rx, CharacteristicWriteType::withResponse));
    ASSERT_TRUE(waitForEvent("wrote"));
    replaceMethod(device + "/service0010/char0011", "org.bluez.GattCharacteristic1", "WriteValue", "aya{sv}",
                  "raise dbus.exceptions.DBusException('Operation failed', name='org.bluez.Error.Failed')");
    ASSERT_TRUE(printer->writeValue(Data{2}, rx, CharacteristicWriteType::withoutResponse));
    ASSERT_TRUE(printer->writeValue(Data{3}, rx, CharacteristicWriteType::withResponse));
    ASSERT_TRUE(waitFor([&] { return manager->pendingWrites() == 0 && recorder.events.size() == 2; }));
    // Only writes with response are confirmed, each in turn.
    EXPECT_THAT(recorder.events, ElementsAre("wrote", "wrote error: Operation failed"));
    EXPECT_THAT(log.lines(), Contains("BlueZ: write to " + device + "/service0010/char0011 failed: Operation failed"));

    setDevice(device, "Connected", false);
    ASSERT_TRUE(waitForEvent("disconnected Printer"));
    replaceMethod(device, "org.bluez.Device1", "Connect", "",
                  "raise dbus.exceptions.DBusException('Page timeout', name='org.bluez.Error.Failed')");
    manager->connect(printer);
    ASSERT_TRUE(waitForEvent("failed Printer error: Page timeout"));
}

// Each cause is told at once, with an unsupported radio; an adapter that comes late or powers off is reported, and an
// off one never scans.
TEST_F(BlueZTest, WhyBluetoothIsUnavailableIsKnownAtOnceAndFollowsTheAdapter) {
    const auto expectUnavailableAtOnce = [&](const std::string& why) {
        SCOPED_TRACE(why);
        recorder.events.clear();
        startManager();
        EXPECT_THAT(recorder.events, ElementsAre("state 2"));
        EXPECT_EQ(manager->unavailableReason().value_or(PlatformError{}).localizedDescription, why);
    };
    expectUnavailableAtOnce("no Bluetooth adapter");
    addAdapter();
    ASSERT_TRUE(waitForEvent("state 5"));
    EXPECT_FALSE(manager->unavailableReason());
    update("/org/bluez/hci0", "org.bluez.Adapter1", {{"Powered", sdbus::Variant(false)}});
    ASSERT_TRUE(waitForEvent("state 4"));
    EXPECT_EQ(manager->unavailableReason().value_or(PlatformError{}).localizedDescription, "the Bluetooth adapter is powered off");
    manager->scanForPeripherals(std::nullopt, {});
    EXPECT_THAT(log.lines(), Contains("BlueZ: cannot scan: Bluetooth is not powered on"));
    RunLoop::main().runUntil([] { return false; }, 50ms);
    EXPECT_TRUE(callsOf("/org/bluez/hci0", "StartDiscovery").empty());
    bus.stopMock("org.bluez");
    expectUnavailableAtOnce("BlueZ is not running");
    link = DBusLink::connect("unix:path=/nonexistent/bus", RunLoop::main());
    expectUnavailableAtOnce("no system bus");
}

// The Bluetooth service going away mid-scan and mid-job: no crash, no hang, a line. Once it is back, a new InitSDK
// and Connect get the printer's notifications and print a line that arrives whole.
TEST_F(BlueZTest, TheSdkSurvivesTheServiceVanishingMidScanAndMidJobAndPrintsOnceItReturns) {
    Testing::SystemBackendOn system(bus.address());
    addAdapter();
    {
        Orvik scanning;
        scanning.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 20, "Printer", "");
        ASSERT_TRUE(waitFor([&] { return callsOf("/org/bluez/hci0", "StartDiscovery").size() == 1; }));
        bus.stopMock("org.bluez");
        ASSERT_TRUE(waitFor([&] { return log.contains("BlueZ: the Bluetooth service left the bus"); }));
        EXPECT_FALSE(scanning.Connect("", 0));
    }
    bus.startMock({"--template", "bluez5"}, "org.bluez");
    addPrinter();
    Orvik printing;
    printing.InitSDK(WIRELESSS_INTERFACE::BLUETOOTH, 20, "Printer", "");
    ASSERT_TRUE(waitFor([&] { return printing.BLEDevice != nullptr; }));
    ASSERT_TRUE(printing.Connect("", 0));
    ASSERT_TRUE(waitFor([&] { return printing.ConnectedBLEDevice != nullptr; }));
    setDevice(device, "ServicesResolved", true);
    ASSERT_TRUE(waitFor([&] { return printing.RXCharacteristic && printing.TXCharacteristic; }));
    const std::string notifier = device + "/service0010/char0013";
    ASSERT_TRUE(waitFor([&] { return callsOf(notifier, "StartNotify").size() == 1; }));
    update(notifier, "org.bluez.GattCharacteristic1", {{"Value", sdbus::Variant(std::vector<std::uint8_t>{0x12})}});
    ASSERT_TRUE(waitFor([&] { return printing.RecevedData == Data{0x12}; }));
    printing.PrintText("A line that is longer than one piece");
    EXPECT_TRUE(printing.WaitUntilSent(10s));
    Data written;
    for (const auto& call : callsOf(device + "/service0010/char0011", "WriteValue")) {
        const auto piece = call[0].get<std::vector<std::uint8_t>>();
        EXPECT_LE(piece.size(), 20u);
        written.insert(written.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(written, Testing::text("A line that is longer than one piece\r\n"));

    printing.PrintText(std::string(2000, 'x'));  // 100 writes: most are still queued when the service goes
    log.clear();
    bus.stopMock("org.bluez");
    EXPECT_FALSE(printing.WaitUntilSent(10s));  // the queued writes are lost with the service, and said so
    EXPECT_TRUE(log.contains("BlueZ: the Bluetooth service left the bus"));
    printing.PrintText("after");
    EXPECT_FALSE(printing.WaitUntilSent(10s));
    EXPECT_TRUE(log.contains("BLE write refused by the Bluetooth stack (link down or write rejected): 7 bytes not sent"));
}

// The race of a first connection: BlueZ says the services are resolved before or after it publishes their objects,
// or together with the connection. Discovery waits for the service and its characteristics, within its bound.
TEST_F(BlueZTest, ServiceDiscoveryWaitsForTheObjectsInAnyOrderWithinItsBound) {
    enum Step { Objects, Resolved, ConnectResolves, Turn, PastTheBound };
    const struct {
        const char* name;
        std::vector<Step> beforeConnect, afterDiscover;
        const char* outcome;
    } rows[] = {
        {"cached before the connection", {Objects, Resolved}, {}, "services"},
        {"objects, then resolved", {}, {Objects, Resolved}, "services"},
        {"resolved, then objects", {}, {Resolved, Turn, Objects}, "services"},
        {"resolved with the connection", {Objects, ConnectResolves}, {}, "services"},
        {"objects too late", {}, {Resolved, PastTheBound, Objects},
         "services error: The device did not offer the requested services and their characteristics in time"},
    };
    constexpr auto bound = 1s;
    addAdapter();
    std::vector<std::string> devices;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        devices.push_back(addDevice("AA:BB:CC:00:01:0" + std::to_string(i), "Printer " + std::to_string(i)));
    const auto perform = [&](Step step, const std::string& device) {
        switch (step) {
            case Objects: return addPrinterGatt(device);
            case Resolved: return setDevice(device, "ServicesResolved", true);
            case ConnectResolves:
                return replaceMethod(device, "org.bluez.Device1", "Connect", "",
                                     "self.UpdateProperties('org.bluez.Device1', {'Connected': dbus.Boolean(True), 'ServicesResolved': dbus.Boolean(True)})");
            case Turn: RunLoop::main().runUntil([] { return false; }, 100ms); return;
            case PastTheBound: RunLoop::main().runUntil([] { return false; }, bound + 500ms); return;
        }
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        for (const Step step : rows[i].beforeConnect) perform(step, devices[i]);
    startManager(bound);
    manager->scanForPeripherals(std::nullopt, {});
    ASSERT_TRUE(waitFor([&] { return recorder.seen.size() == std::size(rows); }));
    manager->stopScan();
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        const std::string name = "Printer " + std::to_string(i);
        printer = recorder.seen.at(name);
        recorder.events.clear();
        manager->connect(printer);
        ASSERT_TRUE(waitForEvent("connected " + name));
        printer->setDelegate(&recorder);
        printer->discoverServices({*BluetoothUUID::parse(serviceUUID)});
        for (const Step step : rows[i].afterDiscover) perform(step, devices[i]);
        ASSERT_TRUE(waitFor([&] { return recorder.events.size() == 2; }));
        EXPECT_THAT(recorder.events, ElementsAre("connected " + name, rows[i].outcome));
        if (std::string(rows[i].outcome) == "services") discoverCharacteristics(*printer);
    }
}

// Whatever the process-wide objects hold when main returns, the program ends cleanly.
TEST_F(BlueZTest, AProgramOnTheSystemBackEndExitsCleanly) {
    addAdapter();
    const auto outcome = Testing::run(ORVIK_EXIT_PROBE_PATH, {bus.address()});
    EXPECT_EQ(outcome.code, 0) << outcome.output;
}

}  // namespace
}  // namespace OrvikFramework
