#include "app/common/MachineReport.h"

size_t MachineReport::FindingCount() const {
    size_t count = machine.size();
    for (const PortCheck& p : ports)
        count += p.findings.size();
    return count;
}

MachineReport CheckMachine(const std::vector<platform::PortEntry>& ports) {
    MachineReport report;
    report.machine = platform::MachineFindings();
    for (const platform::PortEntry& port : ports) {
        PortCheck check;
        check.port = port;
        check.name = platform::PortTable::ComName(port.number) + " " + port.path;
        check.findings = platform::PortFindings(port.path, &check.latencyTimerMs);
        report.ports.push_back(std::move(check));
    }
    return report;
}

std::string MachineReportText(const MachineReport& report) {
    std::string text;
    auto add = [&](const std::string& subject, const platform::Finding& f) {
        text += subject + ": " + f.problem + "\n    fix: " + f.fix + "\n";
    };
    for (const platform::Finding& f : report.machine)
        add("this machine", f);
    for (const PortCheck& p : report.ports) {
        for (const platform::Finding& f : p.findings)
            add(p.name, f);
        if (p.findings.empty())
            text += p.name + ": nothing in the way\n";
    }
    if (report.ports.empty())
        text += std::string(kNoSerialPorts) + "\n";
    if (report.FindingCount() == 0)
        text += std::string(kNothingInTheWay) + "\n";
    return text;
}
