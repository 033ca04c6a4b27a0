// Port binding, communication mode and the TCP disconnection handler of a reader.
#include "exchange/builtin_plugins.h"
#include "exchange/tcp_fan_out.h"
#include "reader/reader.h"
#include "texts/error_codes.h"

#include <vkcommon/port_handle.h>

#include <cstring>
#include <new>

namespace {

bool isFirstGenerationModel(const char* name) {
    return std::strcmp(name, "ID KRN.GWT473-U") == 0 || std::strcmp(name, "ID KRN.BZ578-U") == 0;
}

} // namespace

void VKKRNReader::SetPortHnd(int portHnd) {
    using namespace vkkrn;
    if (vk::portTypeBits(portHnd) == static_cast<unsigned>(vk::PortType::Usb)) {
        // Stored even when the query cannot be bound: a plug-in may need it.
        int generation = 0;
        if (auto getPara = library_.PortFunction<VKUSB_GetDevicePara_Fn>(kIdUsbGetDevicePara)) {
            char key[] = "DeviceName";
            char name[512] = {};
            const int result = getPara(portHnd, key, name);
            name[sizeof name - 1] = '\0';
            if (result >= 0 && !isFirstGenerationModel(name)) generation = 1;
        }
        usbGeneration_.store(generation);
    }
    if (portHnd >= 1 && portHnd <= vk::kPortCountMax) {
        if (auto setPara = library_.PortFunction<VIZER_SetPortPara_Fn>(kIdSerialSetPortPara)) {
            char key[] = "UseNUBO";
            char value[] = "1";
            setPara(portHnd, key, value);
        }
    }
    portHandle_.store(portHnd);
}

int VKKRNReader::SetCommMode(int mode) {
    using namespace vkkrn;
    // Bound on every call, so the first reader loads the TCP library when present.
    library_.BoundPortFunction(kIdTcpAddEventHandler);
    library_.BoundPortFunction(kIdTcpDelEventHandler);

    releasePlugInLocked();

    VKKRN_PlugIn* created = nullptr;
    switch (mode) {
    case 0:
        created = new (std::nothrow) VKKRN_PlugIn_Serial(library_);
        unregisterTcpRecord();
        break;
    case 1:
        if (usbGeneration_.load() == 0)
            created = new (std::nothrow) VKKRN_PlugIn_Usb(this, library_);
        else
            created = new (std::nothrow) VKKRN_PlugIn_Usb2(this, library_);
        unregisterTcpRecord();
        break;
    case 2:
        created = new (std::nothrow) VKKRN_PlugIn_Tcp(library_);
        unregisterTcpRecord();
        registerTcpRecord();
        break;
    case 7: portType_.store(7); return 0;
    default: portType_.store(255); return kErrCommMode;
    }
    if (created == nullptr) {
        portType_.store(255);
        lastError_.store(kErrNoMemory);
        return kErrNoMemory;
    }
    created->portHandle = portHandle_.load();
    plugIn_ = created;
    portType_.store(mode);
    return 0;
}

void VKKRNReader::registerTcpRecord() {
    const int handle = portHandle_.load();
    vkkrn::joinTcpFanOut(handle, this, library_);
    tcpRegistrationHandle_.store(handle);
    tcpRecordRegistered_.store(1);
}

void VKKRNReader::unregisterTcpRecord() {
    if (tcpRecordRegistered_.load() == 0) return;
    vkkrn::leaveTcpFanOut(tcpRegistrationHandle_.load(), this, library_);
    tcpRegistrationHandle_.store(0);
    tcpRecordRegistered_.store(0);
}

void VKKRNReader::cbsTcpEvent(void* reader, int /*socketHnd*/, int /*event*/, int /*value*/) {
    if (reader == nullptr) return;
    static_cast<VKKRNReader*>(reader)->cipher_.reset();
}
