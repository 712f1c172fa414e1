#include <gtest/gtest.h>

#include <orvik/PrinterAddress.h>

namespace OrvikFramework {
namespace {

// kind (0 tcp, 1 wifi, 2 ble, 3 usb, 4 serial, 5 file) | host | port | ssid | password | name | path | baud | flow
std::string fields(const PrinterAddress& uri) {
    return std::to_string(static_cast<int>(uri.kind)) + "|" + uri.host + "|" + std::to_string(uri.port) + "|" + uri.ssid +
           "|" + uri.password + "|" + uri.name + "|" + uri.path + "|" + std::to_string(uri.baud) + "|" + std::to_string(static_cast<int>(uri.flow));
}

// Each address parses to its fields, or is refused saying what is wrong.
TEST(PrinterAddressTest, AddressesGiveTheirFieldsOrSayWhatIsWrong) {
    const std::pair<const char*, std::string> cases[] = {
        {"tcp://127.0.0.1:9100", "0|127.0.0.1|9100|||||9600|0"},
        {"tcp://[::1]:65535", "0|::1|65535|||||9600|0"},
        {"TCP://printer.local", "0|printer.local|9100|||||9600|0"},
        {"tcp://[::1]", "0|::1|9100|||||9600|0"},
        {"wifi://Cafe%20Printer?password=p%26ss%3D1&host=192.168.4.1&port=9100", "1|192.168.4.1|9100|Cafe Printer|p&ss=1|||9600|0"},
        {"wifi://Open?host=h&port=80", "1|h|80|Open||||9600|0"},
        {"wifi://N?port=9100&host=h&password=a+b", "1|h|9100|N|a+b|||9600|0"},
        {"Ble://Kitchen%20One", "2||0|||Kitchen One||9600|0"},
        {"usb:///dev/usb/lp0", "3||0||||/dev/usb/lp0|9600|0"},
        {"serial:///dev/ttyUSB0?baud=115200&flow=rtscts", "4||0||||/dev/ttyUSB0|115200|1"},
        {"SERIAL:///dev/ttyS1?flow=xonxoff", "4||0||||/dev/ttyS1|9600|2"},
        {"file:job.bin", "5||0||||job.bin|9600|0"},
        {"file:///tmp/a%20b.bin", "5||0||||/tmp/a b.bin|9600|0"},
        {"127.0.0.1:9100",
         "bad printer address \"127.0.0.1:9100\": expected tcp://HOST[:PORT], wifi://SSID?password=P&host=H&port=N, "
         "ble://NAME, usb:///dev/usb/lpN, serial:///dev/ttyX?baud=N&flow=none|rtscts|xonxoff or file:PATH"},
        {"tcp://:9100", "missing host in \"tcp://:9100\""},
        {"tcp://h:0", "bad port \"0\" in \"tcp://h:0\": must be a number from 1 to 65535"},
        {"tcp://h:65536", "bad port \"65536\" in \"tcp://h:65536\": must be a number from 1 to 65535"},
        {"tcp://h:91x", "bad port \"91x\" in \"tcp://h:91x\": must be a number from 1 to 65535"},
        {"tcp://h:1/x", "unexpected path or query in \"tcp://h:1/x\": expected tcp://HOST[:PORT]"},
        {"tcp://[::1:9100", "unclosed \"[\" in \"tcp://[::1:9100\""},
        {"wifi://?host=h&port=1", "missing network name in \"wifi://?host=h&port=1\": expected "
                                  "wifi://SSID?password=P&host=H&port=N"},
        {"wifi://N?host=h", "missing parameter \"port\" in \"wifi://N?host=h\""},
        {"wifi://N?host=&port=1", "missing host in \"wifi://N?host=&port=1\""},
        {"wifi://N?host=h&port=1&pin=2",
         "unknown parameter \"pin\" in \"wifi://N?host=h&port=1&pin=2\": use password, host and port"},
        {"wifi://N?host=h&host=i&port=1", "parameter \"host\" given twice in \"wifi://N?host=h&host=i&port=1\""},
        {"wifi://N%2?host=h&port=1", "bad percent-escape in \"wifi://N%2?host=h&port=1\""},
        // The password is never shown, even where it is what is wrong.
        {"wifi://N?password=%zz&host=h&port=1", "bad percent-escape in \"wifi://N?password=***&host=h&port=1\""},
        {"wifi://N?host=h&password=s3#cret&port=x", "bad port \"x\" in \"wifi://N?host=h&password=***&port=x\": must be a number "
                                                   "from 1 to 65535"},
        {"ble://", "missing printer name in \"ble://\": expected ble://NAME"},
        {"ble://A%00B", "bad percent-escape in \"ble://A%00B\""},
        {"ble://A?x=1", "unexpected query in \"ble://A?x=1\": expected ble://NAME"},
        {"usb://lp0", "missing device path in \"usb://lp0\": expected usb:///dev/usb/lpN"},
        {"usb:///dev/usb/lp0?baud=9600", "unexpected query in \"usb:///dev/usb/lp0?baud=9600\": expected usb:///dev/usb/lpN"},
        {"serial:///dev/ttyS0?baud=9601", "bad baud rate \"9601\" in \"serial:///dev/ttyS0?baud=9601\": use 9600, 19200, "
                                          "38400, 57600 or 115200"},
        {"serial:///dev/ttyS0?flow=dtr", "bad flow control \"dtr\" in \"serial:///dev/ttyS0?flow=dtr\": use none, rtscts or xonxoff"},
        {"serial:///dev/ttyS0?parity=n", "unknown parameter \"parity\" in \"serial:///dev/ttyS0?parity=n\": use baud and flow"},
        {"file:", "missing file name in \"file:\": expected file:PATH"},
        {"file://host/x", "a file address names no host: expected file:PATH or file:///ABSOLUTE/PATH, not \"file://host/x\""},
    };
    for (const auto& [text, expected] : cases) {
        const auto uri = parsePrinterAddress(text);
        EXPECT_EQ(uri ? fields(*uri) : uri.error().message, expected) << text;
    }
}

}  // namespace
}  // namespace OrvikFramework
