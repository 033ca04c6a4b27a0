#include "registry.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

namespace {

constexpr int kCounterMax = 0x0FFFFFFF;
constexpr int kNotSupported = -118;
constexpr int kUnknownType = -106;
constexpr int kNotMade = -119;
constexpr int kNotListed = -139;
constexpr int kListEmpty = -140;

// The next number after `counter`, wrapping past 0x0FFFFFFF to 1, skipping
// numbers whose handle is still listed (only possible after a wrap).
template <typename T> int advance(int& counter, int bit, const std::vector<T*>& list) {
    for (std::size_t tries = 0; tries <= list.size(); ++tries) {
        counter = counter >= kCounterMax ? 1 : counter + 1;
        const int handle = counter + bit;
        const bool listed =
            std::any_of(list.begin(), list.end(), [handle](T* o) { return o->GetModuleHnd() == handle; });
        if (!listed) return handle;
    }
    return 0; // unreachable while fewer than 0x0FFFFFFF objects are listed
}

template <typename T> T* find(const std::vector<T*>& list, int handle) {
    auto it = std::find_if(list.begin(), list.end(), [handle](T* o) { return o->GetModuleHnd() == handle; });
    return it == list.end() ? nullptr : *it;
}

template <typename T> int nextInList(const std::vector<T*>& list, int handle) {
    if (handle == 0) return list.empty() ? kListEmpty : list.front()->GetModuleHnd();
    auto it = std::find_if(list.begin(), list.end(), [handle](T* o) { return o->GetModuleHnd() == handle; });
    if (it == list.end()) return kNotListed;
    ++it;
    return it == list.end() ? 0 : (*it)->GetModuleHnd();
}

// Unlists the object and returns it; null when not listed.
template <typename T> T* unlist(std::vector<T*>& list, int handle) {
    auto it = std::find_if(list.begin(), list.end(), [handle](T* o) { return o->GetModuleHnd() == handle; });
    if (it == list.end()) return nullptr;
    T* object = *it;
    list.erase(it);
    return object;
}

} // namespace

VKDM_ReaderManager g_VkdmReaderManager;
VKDM_FunctionUnitManager g_VkdmFunctionUnitManager;

void VKDM_LockLog() {}
void VKDM_UnlockLog() {}

// ---- reader modules -----------------------------------------------------------

VKDM_ReaderManager::VKDM_ReaderManager(int counterStart) : m_counter(counterStart) {}

VKDM_ReaderManager::~VKDM_ReaderManager() {
    std::vector<VKDM_DataBase*> left;
    {
        std::lock_guard lock(m_listMutex);
        left.swap(m_modules);
    }
    for (VKDM_DataBase* module : left)
        delete module;
}

int VKDM_ReaderManager::CreateReaderModule(int type) {
    std::lock_guard lock(m_listMutex);
    const int handle = advance(m_counter, kModuleHandleBit, m_modules);
    if (type != 3) return kNotSupported;
    auto* module = new (std::nothrow) VKDM_KRNReaderModule_4J();
    if (module == nullptr || handle == 0) {
        delete module;
        return kNotMade;
    }
    module->SetModuleHnd(handle);
    m_modules.push_back(module);
    return handle;
}

int VKDM_ReaderManager::DeleteReaderModule(int handle) {
    VKDM_DataBase* module = nullptr;
    {
        std::lock_guard lock(m_listMutex);
        module = unlist(m_modules, handle);
    }
    if (module == nullptr) return kNotListed;
    // Outside the list mutex: the destructor waits for the reader's callbacks,
    // which may look handles up.
    delete module;
    return 0;
}

int VKDM_ReaderManager::EnumReaderModules() {
    std::lock_guard lock(m_listMutex);
    return static_cast<int>(m_modules.size());
}

VKDM_KRNReaderModule_4J* VKDM_ReaderManager::SearchReaderModule(int handle) {
    std::lock_guard lock(m_listMutex);
    return static_cast<VKDM_KRNReaderModule_4J*>(find(m_modules, handle));
}

int VKDM_ReaderManager::GetReaderModuleList(int handle) {
    std::lock_guard lock(m_listMutex);
    return nextInList(m_modules, handle);
}

void VKDM_ReaderManager::SetCounter(int last) {
    std::lock_guard lock(m_listMutex);
    m_counter = last;
}

void VKDM_ReaderManager::VKDM_Sleep(int seconds) {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

int VKDM_ReaderManager::VKDM_LockMutex(int tryFlag) {
    if (tryFlag == 0) {
        m_listMutex.lock();
        return 1;
    }
    return m_listMutex.try_lock() ? 1 : 0;
}

void VKDM_ReaderManager::VKDM_UnLockMutex() {
    m_listMutex.unlock();
}

int VKDM_ReaderManager::VKDM_LockMutexInit(int tryFlag) {
    std::unique_lock lock(m_initMutex);
    if (tryFlag != 0 && m_initHeld) return 0;
    m_initFree.wait(lock, [this] { return !m_initHeld; });
    m_initHeld = true;
    return 1;
}

void VKDM_ReaderManager::VKDM_UnLockMutexInit() {
    {
        std::lock_guard lock(m_initMutex);
        m_initHeld = false;
    }
    m_initFree.notify_one();
}

// ---- function units -----------------------------------------------------------

VKDM_FunctionUnitManager::VKDM_FunctionUnitManager(int counterStart) : m_counter(counterStart) {}

VKDM_FunctionUnitManager::~VKDM_FunctionUnitManager() {
    std::vector<VKDM_KRNFunctionUnit*> left;
    {
        std::lock_guard lock(m_listMutex);
        left.swap(m_units);
    }
    for (VKDM_KRNFunctionUnit* unit : left)
        delete unit;
}

int VKDM_FunctionUnitManager::CreateModule(VKDM_KRNReader* reader, int type) {
    std::lock_guard lock(m_listMutex);
    const int handle = advance(m_counter, kUnitHandleBit, m_units);
    if (type != 10 && type != 11 && type != 12) return kUnknownType;
    auto* unit = new (std::nothrow) VKDM_KRNFunctionUnit(reader, type);
    if (unit == nullptr || handle == 0) {
        delete unit;
        return kNotMade;
    }
    unit->SetModuleHnd(handle);
    unit->SetManageChildMode(false);
    m_units.push_back(unit);
    m_moduleOf[unit] = reader != nullptr ? reader->GetModuleHnd() : 0;
    return handle;
}

int VKDM_FunctionUnitManager::DeleteModule(int handle) {
    VKDM_KRNFunctionUnit* unit = nullptr;
    {
        std::lock_guard lock(m_listMutex);
        unit = unlist(m_units, handle);
        m_moduleOf.erase(unit);
    }
    if (unit == nullptr) return kNotListed;
    delete unit;
    return 0;
}

int VKDM_FunctionUnitManager::EnumModules() {
    std::lock_guard lock(m_listMutex);
    return static_cast<int>(m_units.size());
}

VKDM_KRNFunctionUnit* VKDM_FunctionUnitManager::SearchModule(int handle) {
    std::lock_guard lock(m_listMutex);
    return find(m_units, handle);
}

int VKDM_FunctionUnitManager::GetModuleList(int handle) {
    std::lock_guard lock(m_listMutex);
    return nextInList(m_units, handle);
}

int VKDM_FunctionUnitManager::GetReaderModuleOf(int handle) {
    std::lock_guard lock(m_listMutex);
    VKDM_KRNFunctionUnit* unit = find(m_units, handle);
    return unit == nullptr ? kNotListed : m_moduleOf[unit];
}

void VKDM_FunctionUnitManager::SetCounter(int last) {
    std::lock_guard lock(m_listMutex);
    m_counter = last;
}

void VKDM_FunctionUnitManager::CollectModuleHandles(VKDM_KRNFunctionUnit* unit, std::vector<int>& handles) {
    if (unit == nullptr) return;
    const int count = unit->GetChildCount();
    for (int position = 1; position <= count; ++position) {
        VKDM_KRNFunctionUnit* child = unit->GetChild(position);
        if (child == nullptr) continue;
        handles.push_back(child->GetModuleHnd());
        CollectModuleHandles(child, handles);
    }
}
