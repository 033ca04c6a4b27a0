// The second evaluation board as a reader (KX20EVALOComm): every firmware, the
// ISO 15693 layer initialised before each ISO 15693 set-up, and an inventory
// of sixteen slots at once.
#ifndef KESTOREADER_KX20_H
#define KESTOREADER_KX20_H

#include "board_reader.h"

namespace vemlasdknative {

class kx20 : public BoardReader {
  public:
    // Loads "KX20EVALOComm.dll" into the entry table.
    kx20();

    bool CheckVersion(char* text) override;
    const char* GetName() override { return "KX20-EVALO"; }

    KXx0HANDLE kx20_handle = nullptr;
    HMODULE kx20_dllHandle = nullptr;

  protected:
    KXx0HANDLE& boardHandle() override { return kx20_handle; }
    HMODULE& moduleHandle() override { return kx20_dllHandle; }
    int prepare15693(int initialised) override;
};

} // namespace vemlasdknative

#endif
