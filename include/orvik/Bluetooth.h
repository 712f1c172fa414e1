#pragma once

// Bluetooth LE central-role types; the platform layer defines them.
namespace OrvikFramework {

class CentralManager;
class Peripheral;
class Characteristic;
class BLEPeripheral;

}  // namespace OrvikFramework
