#include "ScanCommand.h"

#include <algorithm>

#include "CliError.h"

namespace OrvikFramework::Cli {

std::vector<HeardDevice> scanPrinters(std::chrono::milliseconds duration) {
    auto heard = scanBluetooth(duration);
    if (!heard) throw CliError(Exit::Unreachable, "cannot scan: " + heard.error().message);
    return std::move(heard).value();
}

std::string scanTable(const std::vector<HeardDevice>& rows) {
    std::size_t nameWidth = 4;
    for (const HeardDevice& row : rows) nameWidth = std::max(nameWidth, row.name.size());
    const auto line = [nameWidth](const std::string& name, const std::string& address, const std::string& rssi) {
        return name + std::string(nameWidth - name.size() + 2, ' ') + address + std::string(19 - std::min<std::size_t>(17, address.size()), ' ') +
               rssi + "\n";
    };
    std::string table = line("NAME", "ADDRESS", "RSSI");
    for (const HeardDevice& row : rows) table += line(row.name, row.address.empty() ? "-" : row.address, std::to_string(row.RSSI));
    return table;
}

}  // namespace OrvikFramework::Cli
