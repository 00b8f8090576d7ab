#include "platform/qt/PortList.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cstdio>

#include "platform/qt/PortDevice.h"

namespace halvern {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Names compared with their digit runs as numbers: ttyACM2 before ttyACM10.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            // Leading zeros do not count; then the longer run is the larger number.
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            const auto ri = a.substr(si, ei - si), rj = b.substr(sj, ej - sj);
            if (ri.size() != rj.size())
                return ri.size() < rj.size();
            if (ri != rj)
                return ri < rj;
            i = ei, j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i, ++j;
    }
    return a.size() - i < b.size() - j;
}

bool Holds(const PortInfo& port, const std::string& device, const std::string& resolved) {
    return port.device == device || (!resolved.empty() && port.device == resolved);
}

}  // namespace

std::vector<PortInfo> SystemSerialPorts() {
    std::vector<PortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo p;
#ifdef Q_OS_WIN
        p.device = info.portName().toStdString();  // COM3, as the numbering names it
#else
        p.device = info.systemLocation().toStdString();
#endif
        p.description = info.description().toStdString();
        p.manufacturer = info.manufacturer().toStdString();
        if (info.hasVendorIdentifier())
            p.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            p.productId = info.productIdentifier();
        p.serialNumber = info.serialNumber().toStdString();
        ports.push_back(std::move(p));
    }
    return ports;
}

std::optional<PortIdentity> IdentityOf(const PortInfo& port) {
    if (!port.vendorId || !port.productId || port.serialNumber.empty())
        return std::nullopt;
    return PortIdentity{*port.vendorId, *port.productId, port.serialNumber};
}

std::string IdentityText(const PortIdentity& id) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "USB %04x:%04x", id.vendorId, id.productId);
    return std::string(ids) + ", serial number " + id.serialNumber;
}

std::vector<PortRow> PortRows(const std::vector<PortInfo>& ports) {
    const auto present = [&](const std::string& path) {
        return std::any_of(ports.begin(), ports.end(),
                           [&](const PortInfo& p) { return p.device == path; });
    };
    std::vector<PortRow> rows;
    for (const PortInfo& p : ports)
        rows.push_back({PortForDevice(p.device, present), p});
    std::stable_sort(rows.begin(), rows.end(), [](const PortRow& a, const PortRow& b) {
        if (a.number.has_value() != b.number.has_value())
            return a.number.has_value();
        if (a.number != b.number)
            return *a.number < *b.number;
        return NaturalLess(a.port.device, b.port.device);
    });
    return rows;
}

std::string NumberText(const PortRow& row) {
    return row.number ? std::to_string(*row.number) : "-";
}

const PortInfo* FindPort(const std::vector<PortInfo>& ports, const std::string& device,
                         const std::string& resolved) {
    const auto it = std::find_if(ports.begin(), ports.end(),
                                 [&](const PortInfo& p) { return Holds(p, device, resolved); });
    return it == ports.end() ? nullptr : &*it;
}

std::optional<std::string> ReopenTarget(const std::string& device, const std::string& resolved,
                                        const std::optional<PortIdentity>& identity,
                                        const std::vector<PortInfo>& ports) {
    if (!identity)
        return device;
    std::vector<const PortInfo*> same;
    for (const PortInfo& p : ports)
        if (IdentityOf(p) == identity)
            same.push_back(&p);
    for (const PortInfo* p : same)
        if (Holds(*p, device, resolved))
            return device;
    if (same.size() == 1)
        return same[0]->device;
    if (!same.empty() || FindPort(ports, device, resolved))
        return std::nullopt;
    return device;
}

}  // namespace halvern
