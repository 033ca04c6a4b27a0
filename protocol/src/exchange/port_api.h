// The port-library functions this library calls, bound by id through
// vkkrn::LibraryServices::PortFunction. Their types come from the port
// libraries' headers; nothing of them is linked.
#ifndef VKKRN_PORT_API_H
#define VKKRN_PORT_API_H

#include <vkcom/vizer.h>
#include <vktcp.h>
#include <vkusb/vkusb.h>

namespace vkkrn {

using VIZER_GetErrorText_Fn = decltype(&::VIZER_GetErrorText);
using VIZER_GetPortPara_Fn = decltype(&::VIZER_GetPortPara);
using VIZER_SetPortPara_Fn = decltype(&::VIZER_SetPortPara);
using VKUSB_GetErrorText_Fn = decltype(&::VKUSB_GetErrorText);
using VKUSB_GetDevicePara_Fn = decltype(&::VKUSB_GetDevicePara);
using VKUSB_SetDevicePara_Fn = decltype(&::VKUSB_SetDevicePara);
using VIZER_Transceive_Fn = decltype(&::VIZER_Transceive);
using VIZER_Transmit_Fn = decltype(&::VIZER_Transmit);
using VIZER_Receive_Fn = decltype(&::VIZER_Receive);
using VKUSB_Transceive_Fn = decltype(&::VKUSB_Transceive);
using VKUSB_Transmit_Fn = decltype(&::VKUSB_Transmit);
using VKUSB_Receive_Fn = decltype(&::VKUSB_Receive);

} // namespace vkkrn

#endif
