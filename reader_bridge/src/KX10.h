// The first evaluation board as a reader (KX10EVALOComm): firmware 1.1.x only,
// and an ISO 15693 inventory that asks a single slot before sixteen.
#ifndef KESTOREADER_KX10_H
#define KESTOREADER_KX10_H

#include "board_reader.h"

namespace vemlasdknative {

class kx10 : public BoardReader {
  public:
    // Loads "KX10EVALOComm.dll" into the entry table.
    kx10();

    bool CheckVersion(char* text) override;
    const char* GetName() override { return "KX10B-EVALO"; }

    KXx0HANDLE kx10_handle = nullptr;
    HMODULE kx10_dllHandle = nullptr;

  protected:
    KXx0HANDLE& boardHandle() override { return kx10_handle; }
    HMODULE& moduleHandle() override { return kx10_dllHandle; }
    bool oneSlotFirst() const override { return true; }
};

} // namespace vemlasdknative

#endif
