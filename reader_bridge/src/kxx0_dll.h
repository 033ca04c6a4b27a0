// The board operations of the evaluation-board libraries, bound at run time:
// one process-wide table of the 87 operations both libraries export, filled
// by each load from the library loaded last.
#ifndef KESTOREADER_KXX0_DLL_H
#define KESTOREADER_KXX0_DLL_H

#include <KXx0EVALOComm.h>

#include <span>
#include <vkplatform/kernel_services.h>

namespace vemlasdknative {

using vkplatform::kernel::HMODULE;

// One typed pointer per operation, named after it; null while not found.
struct KXx0Entries {
#define KXX0_ENTRY(name, bytes) decltype(&::name) name = nullptr;
    KXX0_COMMON_OPERATIONS(KXX0_ENTRY)
#undef KXX0_ENTRY
};

// The table both board readers call through.
extern KXx0Entries kxx0Entries;

// The decorated names the table is filled under ("_mosaInitialize@4"), in
// the table's order.
std::span<const char* const> kxx0EntryNames();

// Loads the library `fileName` ("KX10EVALOComm.dll") into `module`. -1 when it
// cannot be loaded: `module` is null and the table unchanged. Otherwise every
// entry is rewritten (null for a name the library does not define) and the
// number of names not found is returned. The library is never unloaded.
int Load_DLLKXx0(HMODULE* module, const char* fileName);

} // namespace vemlasdknative

#endif
