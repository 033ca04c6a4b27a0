#include "exchange/port_para_call.h"

#include "exchange/port_api.h"
#include "reader/library_services.h"
#include "texts/error_codes.h"

namespace vkkrn {

int callPortPara(LibraryServices& library, int portType, int id, int port, char* key, char* value, bool set) {
    switch (portType) {
    case 0:
        if (set) {
            auto fn = library.PortFunction<VIZER_SetPortPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        } else {
            auto fn = library.PortFunction<VIZER_GetPortPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        }
    case 1:
        if (set) {
            auto fn = library.PortFunction<VKUSB_SetDevicePara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        } else {
            auto fn = library.PortFunction<VKUSB_GetDevicePara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        }
    case 2:
        if (set) {
            auto fn = library.PortFunction<VKTCP_SetSocketPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        } else {
            auto fn = library.PortFunction<VKTCP_GetSocketPara_Fn>(id);
            return fn ? fn(port, key, value) : kErrNullPointer;
        }
    default: return kErrNullPointer;
    }
}

} // namespace vkkrn
