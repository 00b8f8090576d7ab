#include "platform/qt/SystemPort.h"

#include "platform/GatewayAddress.h"

namespace halvern {

SystemPort::SystemPort(Platform& platform, PortEnumerator listPorts)
    : serial_(platform, std::move(listPorts)), gateway_(platform) {
    // The handlers are looked up when they are called: the program sets them on this port.
    for (SerialPort* port :
         {static_cast<SerialPort*>(&serial_), static_cast<SerialPort*>(&gateway_)}) {
        port->onSendDrained = [this] {
            if (onSendDrained)
                onSendDrained();
        };
        port->onNotice = [this](const std::string& text) {
            if (onNotice)
                onNotice(text);
        };
    }
}

bool SystemPort::Open(const std::string& device, std::string* error) {
    active_->Close();
    active_ = IsGatewayDevice(device) ? static_cast<SerialPort*>(&gateway_)
                                      : static_cast<SerialPort*>(&serial_);
    return active_->Open(device, error);
}

}  // namespace halvern
