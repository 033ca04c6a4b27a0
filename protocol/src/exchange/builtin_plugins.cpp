#include "exchange/builtin_plugins.h"

#include "exchange/port_api.h"
#include "exchange/port_para_call.h"
#include "exchange/port_para_ids.h"
#include "reader/reader.h"
#include "texts/error_codes.h"

#include <cstring>

namespace vkkrn {

namespace {

std::uint8_t* bytes(char* p) {
    return reinterpret_cast<std::uint8_t*>(p);
}

constexpr int kUsbHeadLength = 7;
constexpr unsigned int kUsbMaxPayload = 256;
constexpr int kUsbModeWhole = 2;
constexpr int kUsbModeHead = 1;

} // namespace

int PortParaPlugIn::get_port_para(char* key, char* valueOut) {
    const PortParaIds* ids = portParaIds(portType_);
    return ids ? callPortPara(library_, portType_, ids->getId, portHandle, key, valueOut, false)
               : kErrNullPointer;
}

int PortParaPlugIn::set_port_para(char* key, char* value) {
    const PortParaIds* ids = portParaIds(portType_);
    return ids ? callPortPara(library_, portType_, ids->setId, portHandle, key, value, true)
               : kErrNullPointer;
}

template <const PassThroughPort& Port>
int PassThroughPlugIn<Port>::transceive_protocol(char* frame, int frameLen, char* replyOut,
                                                 int replyOutSize) {
    void* fn = this->library_.BoundPortFunction(Port.transceiveId);
    if (fn == nullptr) return kErrNullPointer;
    if constexpr (Port.usbInterface) {
        char interfaceName[] = "NUBO-RCI2";
        return reinterpret_cast<VKUSB_Transceive_Fn>(fn)(portHandle, interfaceName, 0, bytes(frame), frameLen,
                                                         bytes(replyOut), replyOutSize);
    } else if constexpr (Port.portType == 0) {
        return reinterpret_cast<VIZER_Transceive_Fn>(fn)(portHandle, bytes(frame), frameLen, bytes(replyOut),
                                                         replyOutSize);
    } else {
        return reinterpret_cast<VKTCP_Transceive_Fn>(fn)(portHandle, bytes(frame), frameLen, bytes(replyOut),
                                                         replyOutSize);
    }
}

template <const PassThroughPort& Port>
int PassThroughPlugIn<Port>::transmit_protocol(char* frame, int frameLen) {
    void* fn = this->library_.BoundPortFunction(Port.transmitId);
    if (fn == nullptr) return kErrNullPointer;
    if constexpr (Port.usbInterface) {
        char interfaceName[] = "NUBO-RCI2";
        return reinterpret_cast<VKUSB_Transmit_Fn>(fn)(portHandle, interfaceName, bytes(frame), frameLen);
    } else if constexpr (Port.portType == 0) {
        return reinterpret_cast<VIZER_Transmit_Fn>(fn)(portHandle, bytes(frame), frameLen);
    } else {
        return reinterpret_cast<VKTCP_Transmit_Fn>(fn)(portHandle, bytes(frame), frameLen);
    }
}

template <const PassThroughPort& Port>
int PassThroughPlugIn<Port>::receive_protocol(char* replyOut, int replyOutSize) {
    void* fn = this->library_.BoundPortFunction(Port.receiveId);
    if (fn == nullptr) return kErrNullPointer;
    if constexpr (Port.usbInterface) {
        char interfaceName[] = "NUBO-RCI2";
        return reinterpret_cast<VKUSB_Receive_Fn>(fn)(portHandle, interfaceName, bytes(replyOut),
                                                      replyOutSize);
    } else if constexpr (Port.portType == 0) {
        return reinterpret_cast<VIZER_Receive_Fn>(fn)(portHandle, bytes(replyOut), replyOutSize);
    } else {
        return reinterpret_cast<VKTCP_Receive_Fn>(fn)(portHandle, bytes(replyOut), replyOutSize);
    }
}

template class PassThroughPlugIn<kSerialPort>;
template class PassThroughPlugIn<kTcpPort>;
template class PassThroughPlugIn<kUsb2Port>;

} // namespace vkkrn

using namespace vkkrn;

int VKKRN_PlugIn_Usb::build_datastream(char cmd, void* record, int /*dataFormat*/, char* dataOut,
                                       int dataOutSize) {
    if (record == nullptr || dataOut == nullptr) return kErrNullPointer;
    const auto* usb = static_cast<const _VKKRN_PLUGIN_USB_DATA*>(record);
    const bool withPayload = usb->kind == 2;
    if (withPayload && usb->length > kUsbMaxPayload) return kErrBufferOverflow;
    const int total = kUsbHeadLength + (withPayload ? static_cast<int>(usb->length) : 0);
    if (total > dataOutSize) return kErrBufferOverflow;
    // The payload sits where the head goes: keep it before writing the head.
    if (withPayload) std::memcpy(payload, dataOut, usb->length);
    const unsigned char head[kUsbHeadLength] = {static_cast<unsigned char>(cmd),
                                                usb->header1,
                                                usb->header2,
                                                usb->header3,
                                                usb->header4,
                                                static_cast<unsigned char>(usb->length >> 8),
                                                static_cast<unsigned char>(usb->length)};
    std::memcpy(dataOut, head, sizeof head);
    if (withPayload) std::memcpy(dataOut + kUsbHeadLength, payload, usb->length);
    return total;
}

int VKKRN_PlugIn_Usb::build_protocol(char /*cmd*/, char /*busAddress*/, char* data, int dataLen,
                                     char* frameOut, int frameOutSize) {
    if (dataLen < 0 || dataLen > frameOutSize) return kErrBufferOverflow;
    std::memmove(frameOut, data, static_cast<std::size_t>(dataLen));
    return dataLen;
}

int VKKRN_PlugIn_Usb::transceive_protocol(char* frame, int frameLen, char* replyOut, int replyOutSize) {
    auto transceive = library_.PortFunction<VKUSB_Transceive_Fn>(1140);
    if (transceive == nullptr) return kErrNullPointer;
    char interfaceName[] = "NUBO-RCI";
    if (frameLen > kUsbHeadLength) {
        if (transceive(portHandle, interfaceName, kUsbModeWhole, bytes(frame), frameLen, bytes(replyOut),
                       replyOutSize) != 0)
            return kErrUsbTransaction;
        reader->RecProtStrToLogDoc(0, 0, false, false);
        // The head alone goes once more, now announcing the reply length the
        // reader may send; its send line is not handed to the application.
        const bool advanced = reader->GetCommFrame() == 2;
        frame[5] = static_cast<char>(advanced ? 0x10 : 0x00);
        frame[6] = static_cast<char>(advanced ? 0x00 : 0xFF);
        reader->SendLineWithoutApp(kUsbHeadLength);
    }
    const int count = transceive(portHandle, interfaceName, kUsbModeHead, bytes(frame), kUsbHeadLength,
                                 bytes(replyOut), replyOutSize);
    if (count == 0) return kErrNoUsbReply;
    if (count == 1 || count == 2) return kErrLengthError;
    return count;
}

int VKKRN_PlugIn_Usb::split_protocol(char cmd, char /*busAddress*/, char* reply, int replyLen, char* dataOut,
                                     int dataOutSize, int* dataLen) {
    if (replyLen < 1) return kErrNoUsbReply;
    const auto* r = reinterpret_cast<const unsigned char*>(reply);
    const bool advanced = r[0] == 0x02;
    const int head = advanced ? 5 : 3;
    if (replyLen < head) return kErrSplitProtocol;
    const int n = replyLen - head;
    // Room for the data and their closing zero.
    if (n + 1 > dataOutSize) return kErrBufferOverflow;
    if (r[head - 2] != static_cast<unsigned char>(cmd)) return kErrWrongCommand;
    std::memcpy(dataOut, r + head, static_cast<std::size_t>(n));
    dataOut[n] = 0;
    *dataLen = n;
    const int stated = advanced ? (r[1] << 8 | r[2]) : r[0];
    if (stated != replyLen) return kErrLengthError;
    return r[head - 1];
}
