#include "codes.h"

#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcl.h>
#include <vktcp.h>

namespace vkstress {

std::string_view familyName(Family family) {
    switch (family) {
    case Family::Com: return "com";
    case Family::Tcp: return "tcp";
    case Family::Usb: return "usb";
    case Family::Krn: return "krn";
    case Family::Tcl: return "tcl";
    }
    return "?";
}

bool CodeBook::inRange(int code) const {
    for (const Range& range : ranges) {
        if (code >= range.low && code <= range.high) return true;
    }
    return false;
}

// The ranges as each header states them: its own codes first, then those it
// passes on. libvkkrn passes on the codes of the serial and TCP libraries its
// readers use here; libvktcl those of libvkkrn and of the port libraries.
CodeBook codeBook(Family family) {
    switch (family) {
    case Family::Com: return {"libvkcom", {{-1099, -1000}}, &VIZER_GetErrorText};
    case Family::Tcp: return {"libvktcp", {{-1299, -1200}}, &VKTCP_GetErrorText};
    case Family::Usb: return {"libvkusb", {{-1199, -1100}}, nullptr};
    case Family::Krn: return {"libvkkrn", {{-4099, -4000}, {-1299, -1000}}, &VKKRN_GetErrorText};
    case Family::Tcl:
        return {"libvktcl", {{-4299, -4200}, {-4099, -4001}, {-1299, -1001}}, &VKTCL_GetErrorText};
    }
    return {};
}

} // namespace vkstress
