// The plug-ins the library makes for serial, TCP and USB ports. Serial, TCP and
// second-generation USB are one pass-through over the port library of their
// row in kPassThroughPorts; the library frames and splits for them. The
// first-generation USB plug-in frames and splits its readers' own form.
#ifndef VKKRN_BUILTIN_PLUGINS_H
#define VKKRN_BUILTIN_PLUGINS_H

#include "reader/library_services.h"

#include <vkkrn_plugin.h>

class VKKRNReader;

namespace vkkrn {

// get_port_para and set_port_para of a port type through its port library
// (-4002 when the function cannot be bound). `library` binds the port functions
// and outlives the plug-in.
class PortParaPlugIn : public VKKRN_PlugIn {
  public:
    PortParaPlugIn(int portType, LibraryServices& library) : library_(library), portType_(portType) {}
    int get_port_para(char* key, char* valueOut) override;
    int set_port_para(char* key, char* value) override;

  protected:
    LibraryServices& library_;

  private:
    int portType_;
};

// The transfer functions of one port library, by PortFunctionId.
struct PassThroughPort {
    int portType; // 0 serial, 1 USB, 2 TCP
    int transceiveId;
    int transmitId;
    int receiveId;
    bool usbInterface; // the USB functions take an interface name (and a mode)
};

inline constexpr PassThroughPort kSerialPort{0, 1030, 1031, 1032, false};
inline constexpr PassThroughPort kTcpPort{2, 1230, 1231, 1232, false};
inline constexpr PassThroughPort kUsb2Port{1, 1140, 1141, 1142, true};

// Moves bytes between the reader's buffers and the port library, bound on every
// call; -4002 when the function cannot be bound, else the port's result.
template <const PassThroughPort& Port> class PassThroughPlugIn : public PortParaPlugIn {
  public:
    explicit PassThroughPlugIn(LibraryServices& library) : PortParaPlugIn(Port.portType, library) {}
    int transceive_protocol(char* frame, int frameLen, char* replyOut, int replyOutSize) override;
    int transmit_protocol(char* frame, int frameLen) override;
    int receive_protocol(char* replyOut, int replyOutSize) override;
};

extern template class PassThroughPlugIn<kSerialPort>;
extern template class PassThroughPlugIn<kTcpPort>;
extern template class PassThroughPlugIn<kUsb2Port>;

} // namespace vkkrn

class VKKRN_PlugIn_Serial : public vkkrn::PassThroughPlugIn<vkkrn::kSerialPort> {
  public:
    using PassThroughPlugIn::PassThroughPlugIn;
};

class VKKRN_PlugIn_Tcp : public vkkrn::PassThroughPlugIn<vkkrn::kTcpPort> {
  public:
    using PassThroughPlugIn::PassThroughPlugIn;
};

// Second-generation USB readers: interface "NUBO-RCI2".
class VKKRN_PlugIn_Usb2 : public vkkrn::PassThroughPlugIn<vkkrn::kUsb2Port> {
  public:
    VKKRN_PlugIn_Usb2(VKKRNReader* reader, vkkrn::LibraryServices& library)
        : PassThroughPlugIn(library), reader(reader) {}
    VKKRNReader* reader; // the owning reader
};

// First-generation USB readers: [CMD][4 header bytes][length hi][length lo]
// [payload] on interface "NUBO-RCI", replies [LEN][CMD][STATUS][data] or
// [02][LEN hi][LEN lo][CMD][STATUS][data], neither with bus address nor CRC.
class VKKRN_PlugIn_Usb : public vkkrn::PortParaPlugIn {
  public:
    VKKRN_PlugIn_Usb(VKKRNReader* reader, vkkrn::LibraryServices& library)
        : PortParaPlugIn(1, library), reader(reader) {}
    int build_datastream(char cmd, void* record, int dataFormat, char* dataOut, int dataOutSize) override;
    int build_protocol(char cmd, char busAddress, char* data, int dataLen, char* frameOut,
                       int frameOutSize) override;
    int transceive_protocol(char* frame, int frameLen, char* replyOut, int replyOutSize) override;
    int split_protocol(char cmd, char busAddress, char* reply, int replyLen, char* dataOut, int dataOutSize,
                       int* dataLen) override;

    VKKRNReader* reader;             // the owning reader
    unsigned char payload[256] = {}; // the current request's payload
};

#endif
