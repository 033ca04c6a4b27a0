#include "registry/drv_hnd.h"

#include "exchange/port_api.h"
#include "reader/reader.h"
#include "texts/error_codes.h"

#include <vkcommon/port_handle.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>

unsigned char g_ucVkKrnTmp[0x20002];

namespace {

void destroyReadersAtExit() {
    g_LibVkKrnDrvHnd.DeleteAllReaders();
}

// A port library opened after this library registers its own exit-time
// destructors after ours, so they would run first and the readers would then
// unregister from a destroyed library. Registering this handler after every
// first opening makes the readers go first, at exit and when this library is
// unloaded.
void registerExitCleanup() {
    std::atexit(destroyReadersAtExit);
}

} // namespace

VKKRNDrvHnd g_LibVkKrnDrvHnd(0, registerExitCleanup);

namespace vkkrn {

void cipherLibraryOpened() {
    static std::once_flag once;
    std::call_once(once, registerExitCleanup);
}

} // namespace vkkrn

VKKRNDrvHnd::VKKRNDrvHnd(int counterStart, void (*onPortLibraryOpened)())
    : counter_(counterStart), binder_(onPortLibraryOpened) {}

VKKRNDrvHnd::~VKKRNDrvHnd() {
    DeleteAllReaders();
    binder_.closeAll();
}

int VKKRNDrvHnd::nextHandleLocked() {
    auto inUse = [this](int handle) {
        return std::any_of(readers_.begin(), readers_.end(),
                           [handle](const auto& reader) { return reader->GetReaderHnd() == handle; });
    };
    counter_ = vkkrn::nextReaderHandle(counter_, inUse);
    return counter_;
}

int VKKRNDrvHnd::CreateNewReader(int portHnd) {
    using namespace vkkrn;
    SetLastError(0);
    auto consumeNumber = [this](int code) {
        {
            auto lock = Lock();
            nextHandleLocked();
        }
        SetLastError(code);
        return code;
    };
    if (portHnd < 0) return consumeNumber(kErrPortNegative);

    std::shared_ptr<VKKRNReader> reader;
    try {
        reader = std::make_shared<VKKRNReader>(*this, 0, static_cast<int>(vk::portTypeBits(portHnd)), 0u, 0u,
                                               nullptr);
    } catch (const std::bad_alloc&) {
        return consumeNumber(kErrNewReader);
    }

    // Bind the port outside the registry lock: only this thread knows the reader.
    const unsigned type = vk::portTypeBits(portHnd);
    const bool known = type == 0 || type == 1 || type == 2 || type == 7;
    if (known && vk::portCount(portHnd) >= 1) {
        reader->SetPortHnd(portHnd);
        reader->SetCommMode(static_cast<int>(type));
    } else {
        reader->SetPortHnd(0);
        reader->SetCommMode(255);
    }

    auto lock = Lock();
    const int handle = nextHandleLocked();
    reader->SetReaderHnd(handle);
    try {
        readers_.push_back(std::move(reader));
    } catch (const std::bad_alloc&) {
        SetLastError(kErrNewReader);
        return kErrNewReader;
    }
    return handle;
}

int VKKRNDrvHnd::DeleteReader(int readerHnd) {
    std::shared_ptr<VKKRNReader> doomed;
    {
        auto lock = Lock();
        auto it = std::find_if(readers_.begin(), readers_.end(), [readerHnd](const auto& reader) {
            return reader->GetReaderHnd() == readerHnd;
        });
        if (it == readers_.end()) {
            SetLastError(vkkrn::kErrNoReaderHandle);
            return vkkrn::kErrNoReaderHandle;
        }
        // Its own worker would wait for itself; a handler of it on another
        // thread holds locks the workers need.
        const int refused = (*it)->OnOwnWorker()     ? vkkrn::kErrTaskBusy
                            : (*it)->RefuseReentry() ? vkkrn::kErrBusy
                                                     : 0;
        if (refused != 0) {
            SetLastError(refused);
            return refused;
        }
        doomed = std::move(*it);
        readers_.erase(it);
    }
    SetLastError(0);
    doomed->StopWorkers(); // holding no lock, waiting out a callback
    doomed.reset();        // the reader dies here unless a call on it is still running
    return 0;
}

void VKKRNDrvHnd::DeleteAllReaders() {
    std::vector<std::shared_ptr<VKKRNReader>> doomed;
    {
        auto lock = Lock();
        doomed.swap(readers_);
    }
    for (auto& reader : doomed) {
        reader->StopWorkers();
        reader.reset(); // in creation order
    }
}

int VKKRNDrvHnd::SetAllStopFlags(bool stop) {
    auto lock = Lock();
    for (const auto& reader : readers_) {
        if (stop)
            reader->SetStopFlag();
        else
            reader->ClearStopFlag();
    }
    return 0;
}

bool VKKRNDrvHnd::AnyActiveFlag() {
    auto lock = Lock();
    for (const auto& reader : readers_) {
        if (reader->GetActiveFlag() != 0) return true;
    }
    return false;
}

int VKKRNDrvHnd::EnumReader() {
    auto lock = Lock();
    return static_cast<int>(readers_.size());
}

std::shared_ptr<VKKRNReader> VKKRNDrvHnd::SearchReader(int readerHnd) {
    auto lock = Lock();
    for (const auto& reader : readers_) {
        if (reader->GetReaderHnd() == readerHnd) return reader;
    }
    return nullptr;
}

int VKKRNDrvHnd::GetReaderList(int readerHnd) {
    using namespace vkkrn;
    if (readerHnd < 0) {
        SetLastError(kErrReaderNegative);
        return kErrReaderNegative;
    }
    int result = 0;
    {
        auto lock = Lock();
        if (readerHnd == 0) {
            result = readers_.empty() ? kErrEmptyList : readers_.front()->GetReaderHnd();
        } else {
            auto it = std::find_if(readers_.begin(), readers_.end(), [readerHnd](const auto& reader) {
                return reader->GetReaderHnd() == readerHnd;
            });
            if (it == readers_.end())
                result = kErrUnknownReader;
            else
                result = (it + 1 == readers_.end()) ? 0 : (*(it + 1))->GetReaderHnd();
        }
    }
    SetLastError(result < 0 ? result : 0);
    return result;
}

bool VKKRNDrvHnd::ClaimPlugIn(const VKKRN_PlugIn* plugIn) {
    std::lock_guard<std::mutex> lock(installedMutex_);
    return installedPlugIns_.insert(plugIn).second;
}

void VKKRNDrvHnd::ReleasePlugInClaim(const VKKRN_PlugIn* plugIn) {
    std::lock_guard<std::mutex> lock(installedMutex_);
    installedPlugIns_.erase(plugIn);
}

void* VKKRNDrvHnd::GetFunctionPtr(void* library, const char* name) {
    return library == nullptr || name == nullptr ? nullptr : ::dlsym(library, name);
}
