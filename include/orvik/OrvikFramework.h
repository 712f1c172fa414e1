#pragma once

// Everything an application needs to drive a receipt printer.
#include <orvik/BLEDeviceCell.h>
#include <orvik/BLEPeripheral.h>
#include <orvik/Bluetooth.h>
#include <orvik/BluetoothUUID.h>
#include <orvik/DBus.h>
#include <orvik/Data.h>
#include <orvik/Documents.h>
#include <orvik/Enums.h>
#include <orvik/Files.h>
#include <orvik/Hotspot.h>
#include <orvik/Image.h>
#include <orvik/ImageConversion.h>
#include <orvik/Log.h>
#include <orvik/Orvik.h>
#include <orvik/Platform.h>
#include <orvik/PlatformError.h>
#include <orvik/PrinterAddress.h>
#include <orvik/PrinterStatus.h>
#include <orvik/QRCode.h>
#include <orvik/RunLoop.h>
#include <orvik/Spool.h>
#include <orvik/Stream.h>
#include <orvik/TcpSocket.h>
#include <orvik/UsbPrinters.h>
