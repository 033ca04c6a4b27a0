// The plug-ins the library makes for serial, TCP and USB ports. They reach the
// port library's parameter functions; the transfer slots come with the engine.
#ifndef VKKRN_BUILTIN_PLUGINS_H
#define VKKRN_BUILTIN_PLUGINS_H

#include <vkkrn_plugin.h>

class VKKRNReader;

namespace vkkrn {

// get_port_para and set_port_para of a port type through its port library
// (-4002 when the function cannot be bound).
class PortParaPlugIn : public VKKRN_PlugIn {
  public:
    explicit PortParaPlugIn(int portType) : portType_(portType) {}
    int get_port_para(char* key, char* valueOut) override;
    int set_port_para(char* key, char* value) override;

  private:
    int portType_;
};

} // namespace vkkrn

class VKKRN_PlugIn_Serial : public vkkrn::PortParaPlugIn {
  public:
    VKKRN_PlugIn_Serial() : PortParaPlugIn(0) {}
};

class VKKRN_PlugIn_Tcp : public vkkrn::PortParaPlugIn {
  public:
    VKKRN_PlugIn_Tcp() : PortParaPlugIn(2) {}
};

// Second-generation USB readers.
class VKKRN_PlugIn_Usb2 : public vkkrn::PortParaPlugIn {
  public:
    explicit VKKRN_PlugIn_Usb2(VKKRNReader* reader) : PortParaPlugIn(1), reader(reader) {}
    VKKRNReader* reader; // the owning reader
};

// First-generation USB readers, which speak a request form of their own.
class VKKRN_PlugIn_Usb : public vkkrn::PortParaPlugIn {
  public:
    explicit VKKRN_PlugIn_Usb(VKKRNReader* reader) : PortParaPlugIn(1), reader(reader) {}
    VKKRNReader* reader;             // the owning reader
    unsigned char payload[256] = {}; // the current request's payload
};

#endif
