// libkestoreader: the hex-string command interface of the QM30 dongle.
//
// Commands and answers travel as hex text, two upper-case digits per byte. A
// reply text is {result code, length, data...} of the dongle's answer, or one of
// the transceiver's error texts; every reply buffer of QM30_REPLY_TEXT_SIZE
// bytes is large enough.
//
// Results: 0 done; 1 the dongle cannot be opened (getMCUrev, USBconnect);
// 2 bad command text (null, empty where a command is required, a pair that is
// not two hex digits, or more bytes than the command can carry), nothing sent;
// 3 protocol select refused; 4 transceiver error; 5 dongle not connected or not
// answering. A manager is made by the dongle reader inside the library.
#ifndef KESTOREADER_QM30_DLL_H
#define KESTOREADER_QM30_DLL_H

#include <cstddef>

#define KESTOREADER_API __attribute__((visibility("default")))

namespace vemlasdknative {

class HidManager;

// The dongle on the USB bus: the maker's vendor id, the product id that is
// opened (the other one is never opened), the manufacturer string it reports.
inline constexpr unsigned short KESTO_VENDOR_ID = 0x4B45;
inline constexpr unsigned short KESTO_PRODUCT_ID1 = 0x2105;
inline constexpr unsigned short KESTO_PRODUCT_ID2 = 0xD0D0;
inline constexpr wchar_t KESTO_MANUFACTURER[] = L"Kesto";

// The longest reply text with its closing zero: a chunked answer of at most 769
// bytes (result, length byte and 767 data bytes).
inline constexpr std::size_t QM30_REPLY_TEXT_SIZE = 1539;

KESTOREADER_API int QM30Dll_essai(char* reply);
KESTOREADER_API int QM30Dll_Echo(HidManager* manager, char* reply);
KESTOREADER_API int QM30Dll_Idn(HidManager* manager, char* reply);
KESTOREADER_API int QM30Dll_FieldOff(HidManager* manager, char* reply);
KESTOREADER_API int QM30Dll_Select(HidManager* manager, const char* cmd, char* reply);
KESTOREADER_API int QM30Dll_SendReceive(HidManager* manager, const char* cmd, char* reply);
KESTOREADER_API int QM30Dll_KestoCmd(HidManager* manager, const char* cmd, char* reply);
KESTOREADER_API int QM30Dll_ResetSPI(HidManager* manager, char* reply);
KESTOREADER_API int QM30DLL_getInterfacePinState(HidManager* manager, char* reply);
KESTOREADER_API int QM30Dll_Polling_Reading(HidManager* manager, char* reply);
KESTOREADER_API int QM30Dll_SendNSSPulse(HidManager* manager, char* reply);
KESTOREADER_API int QM30DLL_getHardwareVersion(HidManager* manager, char* reply);
KESTOREADER_API int QM30DLL_getMCUrev(HidManager* manager, char* reply);
KESTOREADER_API int QM30DLL_USBhandlecheck(HidManager* manager);
KESTOREADER_API int QM30DLL_USBconnect(HidManager* manager);

} // namespace vemlasdknative

#endif
