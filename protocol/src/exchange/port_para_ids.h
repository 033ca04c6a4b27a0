// Which port function reads and which sets a port parameter, by port type. The
// built-in plug-ins and the reader's port-parameter access share this table.
#ifndef VKKRN_PORT_PARA_IDS_H
#define VKKRN_PORT_PARA_IDS_H

namespace vkkrn {

struct PortParaIds {
    int portType; // 0 serial, 1 USB, 2 TCP
    int getId;    // called through callPortPara: each library has its own type
    int setId;
};

inline constexpr PortParaIds kPortParaIds[] = {
    {0, 1023, 1024}, // VIZER_GetPortPara, VIZER_SetPortPara
    {1, 1134, 1135}, // VKUSB_GetDevicePara, VKUSB_SetDevicePara
    {2, 1224, 1225}, // VKTCP_GetSocketPara, VKTCP_SetSocketPara
};

// The row of a port type, or null for a type without port parameters.
constexpr const PortParaIds* portParaIds(int portType) {
    for (const PortParaIds& row : kPortParaIds) {
        if (row.portType == portType) return &row;
    }
    return nullptr;
}

} // namespace vkkrn

#endif
