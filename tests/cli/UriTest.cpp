#include <gtest/gtest.h>

#include "Uri.h"

namespace OrvikFramework::Cli {
namespace {

std::string fields(const PrinterUri& uri) {
    return std::to_string(static_cast<int>(uri.kind)) + "|" + uri.host + "|" + std::to_string(uri.port) + "|" + uri.ssid +
           "|" + uri.password + "|" + uri.name;
}

TEST(UriTest, GoodAddresses) {
    // kind (0 tcp, 1 wifi, 2 ble) | host | port | ssid | password | name
    const std::pair<const char*, const char*> cases[] = {
        {"tcp://127.0.0.1:9100", "0|127.0.0.1|9100|||"},
        {"tcp://[::1]:65535", "0|::1|65535|||"},
        {"TCP://printer.local", "0|printer.local|9100|||"},
        {"tcp://[::1]", "0|::1|9100|||"},
        {"wifi://Cafe%20Printer?password=p%26ss%3D1&host=192.168.4.1&port=9100", "1|192.168.4.1|9100|Cafe Printer|p&ss=1|"},
        {"wifi://Open?host=h&port=80", "1|h|80|Open||"},
        {"wifi://N?port=9100&host=h&password=a+b", "1|h|9100|N|a+b|"},
        {"Ble://Kitchen%20One", "2||0|||Kitchen One"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        const auto uri = parseUri(text, error);
        ASSERT_TRUE(uri) << text << ": " << error;
        EXPECT_EQ(fields(*uri), expected) << text;
    }
}

TEST(UriTest, BadAddressesSayWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1:9100",
         "bad printer address \"127.0.0.1:9100\": expected tcp://HOST[:PORT], wifi://SSID?password=P&host=H&port=N or "
         "ble://NAME"},
        {"http://x:1", "unknown link kind \"http\" in \"http://x:1\": use tcp, wifi or ble"},
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
        {"wifi://N?host=h&password=s3cret&port=x", "bad port \"x\" in \"wifi://N?host=h&password=***&port=x\": must be a number "
                                                   "from 1 to 65535"},
        {"ble://", "missing printer name in \"ble://\": expected ble://NAME"},
        {"ble://A%00B", "bad percent-escape in \"ble://A%00B\""},
        {"ble://A?x=1", "unexpected query in \"ble://A?x=1\": expected ble://NAME"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(parseUri(text, error));
        EXPECT_EQ(error, message);
    }
}

}  // namespace
}  // namespace OrvikFramework::Cli
