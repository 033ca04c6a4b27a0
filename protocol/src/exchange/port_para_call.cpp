#include "exchange/port_para_call.h"

#include "exchange/port_api.h"
#include "reader/library_services.h"
#include "texts/error_codes.h"

namespace vkkrn {

namespace {

// Calls the bound function `id` through a pointer of type Fn.
template <typename Fn> int callAs(LibraryServices& library, int id, int port, char* key, char* value) {
    const auto fn = library.PortFunction<Fn>(id);
    return fn != nullptr ? fn(port, key, value) : kErrNullPointer;
}

} // namespace

int callPortPara(LibraryServices& library, int portType, int id, int port, char* key, char* value, bool set) {
    switch (portType) {
    case 0:
        return set ? callAs<VIZER_SetPortPara_Fn>(library, id, port, key, value)
                   : callAs<VIZER_GetPortPara_Fn>(library, id, port, key, value);
    case 1:
        return set ? callAs<VKUSB_SetDevicePara_Fn>(library, id, port, key, value)
                   : callAs<VKUSB_GetDevicePara_Fn>(library, id, port, key, value);
    case 2:
        return set ? callAs<VKTCP_SetSocketPara_Fn>(library, id, port, key, value)
                   : callAs<VKTCP_GetSocketPara_Fn>(library, id, port, key, value);
    default: return kErrNullPointer;
    }
}

} // namespace vkkrn
