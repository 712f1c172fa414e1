#include <orvik/Platform.h>
#include <orvik/RunLoop.h>

// Stand-in for the system stack until the BlueZ and NetworkManager back-ends exist: it says plainly that
// the service is missing instead of pretending to scan or join.
namespace OrvikFramework {
namespace {

class UnavailableCentralManager final : public CentralManager, public std::enable_shared_from_this<UnavailableCentralManager> {
public:
    ManagerState state() const override { return ManagerState::unsupported; }
    void setDelegate(CentralManagerDelegate* delegate) override { delegate_ = delegate; }
    void scanForPeripherals(const std::optional<std::vector<BluetoothUUID>>&, const ScanOptions&) override {}
    void stopScan() override {}
    void connect(const std::shared_ptr<Peripheral>& peripheral) override {
        RunLoop::main().post([weak = weak_from_this(), peripheral] {
            const auto self = weak.lock();
            if (self && self->delegate_) {
                self->delegate_->centralManagerDidFailToConnect(*self, peripheral,
                                                                PlatformError{"Bluetooth is not available on this system"});
            }
        });
    }
    void cancelPeripheralConnection(const std::shared_ptr<Peripheral>&) override {}
    void reportState() {
        RunLoop::main().post([weak = weak_from_this()] {
            const auto self = weak.lock();
            if (self && self->delegate_) self->delegate_->centralManagerDidUpdateState(*self);
        });
    }

private:
    CentralManagerDelegate* delegate_ = nullptr;
};

class UnavailableHotspotManager final : public HotspotConfigurationManager {
public:
    void apply(const HotspotConfiguration&, Completion completionHandler) override {
        RunLoop::main().post([completionHandler = std::move(completionHandler)] {
            completionHandler(PlatformError{"Wi-Fi access-point joining is not available on this system"});
        });
    }
};

}  // namespace

PlatformBackend Platform::systemBackend() {
    return {
        [](CentralManagerDelegate* delegate) {
            auto manager = std::make_shared<UnavailableCentralManager>();
            manager->setDelegate(delegate);
            manager->reportState();
            return manager;
        },
        [] {
            static const auto manager = std::make_shared<UnavailableHotspotManager>();
            return manager;
        },
    };
}

}  // namespace OrvikFramework
