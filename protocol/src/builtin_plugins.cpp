#include "builtin_plugins.h"

#include "error_codes.h"
#include "port_api.h"
#include "port_para_ids.h"

namespace vkkrn {

namespace {

// Calls the port type's parameter function `id` with its library's own type.
int callPortPara(int portType, int id, int port, char* key, char* value, bool set) {
    switch (portType) {
    case 0:
        if (set) {
            auto fn = portFunction<VIZER_SetPortPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        } else {
            auto fn = portFunction<VIZER_GetPortPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        }
    case 1:
        if (set) {
            auto fn = portFunction<VKUSB_SetDevicePara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        } else {
            auto fn = portFunction<VKUSB_GetDevicePara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        }
    case 2:
        if (set) {
            auto fn = portFunction<VKTCP_SetSocketPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        } else {
            auto fn = portFunction<VKTCP_GetSocketPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        }
    default: return kErrNullPointer;
    }
}

} // namespace

int PortParaPlugIn::get_port_para(char* key, char* valueOut) {
    const PortParaIds* ids = portParaIds(portType_);
    return ids ? callPortPara(portType_, ids->getId, portHandle, key, valueOut, false) : kErrNullPointer;
}

int PortParaPlugIn::set_port_para(char* key, char* value) {
    const PortParaIds* ids = portParaIds(portType_);
    return ids ? callPortPara(portType_, ids->setId, portHandle, key, value, true) : kErrNullPointer;
}

} // namespace vkkrn
