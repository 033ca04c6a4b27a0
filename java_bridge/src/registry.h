// The two handle registries: reader modules (0x10000000 + n) and function units
// (0x20000000 + n). They keep raw pointers; an object found by a search is used
// after the list mutex is released, so Java must not destroy a handle while a
// call on it runs.
#ifndef NUBOKRN4J_REGISTRY_H
#define NUBOKRN4J_REGISTRY_H

#include "module_4j.h"

#include <vkdm/vkdm_core.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

inline constexpr int kModuleHandleBit = 0x10000000;
inline constexpr int kUnitHandleBit = 0x20000000;

class VKDM_ReaderManager : public VKDM_Base {
  public:
    // `counterStart`: the last number given out (0 for a fresh library).
    explicit VKDM_ReaderManager(int counterStart = 0);
    // Deletes every module still listed.
    ~VKDM_ReaderManager() override;
    VKDM_ReaderManager(const VKDM_ReaderManager&) = delete;
    VKDM_ReaderManager& operator=(const VKDM_ReaderManager&) = delete;

    // Type 3: a new module's handle; other types -118 (the number is used up
    // all the same); -119 when the object cannot be made.
    int CreateReaderModule(int type);
    // 0, or -139 when the handle is not listed.
    int DeleteReaderModule(int handle);
    int EnumReaderModules();
    VKDM_KRNReaderModule_4J* SearchReaderModule(int handle);
    // Handle 0: the first listed handle (-140 when empty); another: the next one
    // (0 after the last, -139 when not listed).
    int GetReaderModuleList(int handle);
    // The last number given out; the next create continues after it.
    void SetCounter(int last);

    bool IsUsbSupport() { return true; }
    void GetOS() { m_os = 0; }
    static void VKDM_Sleep(int seconds);

    // The list mutex: flag 0 waits (1); any other flag tries once (0 busy, 1 taken).
    int VKDM_LockMutex(int tryFlag);
    void VKDM_UnLockMutex();
    // The init lock that Java's Lock and Unlock take: a held flag, so that it can
    // be released on another thread, and a release of a free lock changes nothing.
    int VKDM_LockMutexInit(int tryFlag);
    void VKDM_UnLockMutexInit();

  private:
    std::vector<VKDM_DataBase*> m_modules;
    int m_counter;
    int m_os = 0;
    std::mutex m_initMutex;
    std::condition_variable m_initFree;
    bool m_initHeld = false;
    std::mutex m_listMutex; // guards m_modules and m_counter; after g_mutex, before a module's
};

class VKDM_FunctionUnitManager : public VKDM_Base {
  public:
    explicit VKDM_FunctionUnitManager(int counterStart = 0);
    ~VKDM_FunctionUnitManager() override;
    VKDM_FunctionUnitManager(const VKDM_FunctionUnitManager&) = delete;
    VKDM_FunctionUnitManager& operator=(const VKDM_FunctionUnitManager&) = delete;

    // Types 10, 11, 12 on the reader: the new unit's handle (manage-child mode
    // off); other types -106 (the number is used up); -119 when not made.
    int CreateModule(VKDM_KRNReader* reader, int type);
    int DeleteModule(int handle);
    int EnumModules();
    VKDM_KRNFunctionUnit* SearchModule(int handle);
    int GetModuleList(int handle);
    // The handle of the reader module the unit was made on; -139 when the unit
    // is not listed. The module itself may be gone since.
    int GetReaderModuleOf(int handle);
    void SetCounter(int last);
    // Appends the handles of the unit's children at positions 1 to
    // GetChildCount(), each followed by the handles below it (depth first).
    void CollectModuleHandles(VKDM_KRNFunctionUnit* unit, std::vector<int>& handles);

  private:
    std::vector<VKDM_KRNFunctionUnit*> m_units;
    std::map<VKDM_KRNFunctionUnit*, int> m_moduleOf; // the module handle each unit was made on
    int m_counter;
    std::mutex m_listMutex;
};

extern VKDM_ReaderManager g_VkdmReaderManager;
extern VKDM_FunctionUnitManager g_VkdmFunctionUnitManager;

void VKDM_LockLog();
void VKDM_UnlockLog();

#endif
