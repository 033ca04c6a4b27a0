// The second evaluation board as a reader (KX20EVALOComm).
#ifndef KESTOREADER_KX20_H
#define KESTOREADER_KX20_H

#include "board_reader.h"

namespace vemlasdknative {

class kx20 : public BoardReader {
  public:
    const char* GetName() override { return "KX20-EVALO"; }

    void* kx20_handle = nullptr;
    void* kx20_dllHandle = nullptr;

  protected:
    void*& boardHandle() override { return kx20_handle; }
};

} // namespace vemlasdknative

#endif
