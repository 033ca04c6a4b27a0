// The first evaluation board as a reader (KX10EVALOComm).
#ifndef KESTOREADER_KX10_H
#define KESTOREADER_KX10_H

#include "board_reader.h"

namespace vemlasdknative {

class kx10 : public BoardReader {
  public:
    const char* GetName() override { return "KX10B-EVALO"; }

    void* kx10_handle = nullptr;
    void* kx10_dllHandle = nullptr;

  protected:
    void*& boardHandle() override { return kx10_handle; }
};

} // namespace vemlasdknative

#endif
