#include "platform/linux/WslCheck.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/PortTable.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

bool FolderHasEntries(const char* folder) {
    std::error_code ec;
    return fs::is_directory(folder, ec) && !fs::is_empty(folder, ec) && !ec;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

WslFacts ReadWslFacts() {
    WslFacts facts;
    std::ifstream("/proc/sys/kernel/osrelease") >> facts.kernelRelease;
    std::error_code ec;
    // USB devices show as 1-1 and the like beside the root hubs (usb1...).
    for (const auto& entry : fs::directory_iterator("/sys/bus/usb/devices", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("usb", 0) != 0 && name.find(':') == std::string::npos)
            facts.usbDevicesAttached = true;
    }
    facts.serialDriver = FolderHasEntries("/sys/bus/usb-serial/drivers") ||
                         fs::exists("/sys/bus/usb/drivers/cdc_acm", ec);
    facts.serialPorts = !PortTable::ScanSystemPorts().empty();
    return facts;
}

std::vector<Finding> WslFindings(const WslFacts& facts) {
    // WSL 2's kernels call themselves "...-microsoft-standard-WSL2".
    const std::string release = Lower(facts.kernelRelease);
    if (release.find("microsoft") == std::string::npos || facts.serialPorts)
        return {};
    if (!facts.usbDevicesAttached)
        return {
            {"this is WSL 2, where a USB device reaches Linux only when Windows passes it "
             "on (usbipd-win), and none is passed on now",
             "in an administrator's PowerShell on Windows: 'usbipd list' to find the "
             "device's BUSID, 'usbipd bind --busid BUSID' once, then 'usbipd attach --wsl "
             "--busid BUSID' after each plug-in; its port then appears here as /dev/ttyUSB0 "
             "or /dev/ttyACM0 (or run brevik.exe on Windows itself)"}};
    if (!facts.serialDriver)
        return {
            {"this is WSL 2 and a USB device is passed on from Windows, but the WSL kernel "
             "has no USB serial driver loaded for it (ftdi_sio, cp210x, ch341, cdc_acm)",
             "load them with 'sudo modprobe ftdi_sio cp210x ch341 cdc_acm' (WSL kernels "
             "from 5.10.102.1 on have them as modules), or update WSL with 'wsl --update' "
             "on Windows, or run brevik.exe on Windows itself"}};
    return {
        {"this is WSL 2 and a USB serial device is passed on from Windows, but no serial "
         "port has appeared for it",
         "detach and attach it again on Windows ('usbipd detach --busid BUSID', then "
         "'usbipd attach --wsl --busid BUSID') and look with 'brevik ports'"}};
}

}  // namespace platform
