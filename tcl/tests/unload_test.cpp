// Unloading the library and leaving the process while an asynchronous APDU
// waits in a read: each in a child process of its own.
#include "sim_port_plugin.h"

#include <krnsim/tcl_card.h>
#include <vkkrn.h>
#include <vktcl.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

std::atomic<int> g_callbacks{0};
void callback(int, int, int) {
    ++g_callbacks;
}

using NewFn = int (*)(int, unsigned char, unsigned char, unsigned char, bool, bool);
using ApduFn = int (*)(int, unsigned char*, int, _VKTCL_EVENT_INIT*);

// A reader whose card never answers, libvktcl loaded, one APDU started.
// Returns the library handle, or null.
void* startSilentApdu(krnsim::Simulator& sim, krnsim::TclCard& card) {
    card.install();
    card.setFaultHook([](std::vector<krnsim::CardAnswer>& a) { a.clear(); });
    const int reader = VKKRN_NewReader(VKKRN_PLUGIN);
    auto* plugIn = new SimPortPlugIn(sim);
    plugIn->timeoutMs = 200;
    if (reader <= 0 || VKKRN_PI_Install(reader, plugIn) != 0) return nullptr;
    void* library = ::dlopen("libvktcl.so", RTLD_NOW);
    if (library == nullptr) return nullptr;
    auto create = reinterpret_cast<NewFn>(::dlsym(library, "VKTCL_NewTransponder"));
    auto apdu = reinterpret_cast<ApduFn>(::dlsym(library, "VKTCL_Apdu"));
    const int h = create(reader, 1, 0, 0, false, false);
    unsigned char data[] = {0x00, 0xB0, 0x00, 0x00, 0x10};
    _VKTCL_EVENT_INIT event{nullptr, 0, 0, 3, reinterpret_cast<void*>(&callback)};
    if (h <= 0 || apdu(h, data, 5, &event) != 0) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // the worker is in its read
    return library;
}

TEST(TclUnload, UnloadDuringAnApduCallsBackOnce) {
    EXPECT_EXIT(
        {
            krnsim::Simulator sim;
            krnsim::TclCard card(sim.reader());
            void* library = startSilentApdu(sim, card);
            if (library == nullptr) std::_Exit(2);
            ::dlclose(library);
            const int calls = g_callbacks.load();
            sim.reader().setHandler(0xB2, {});
            std::_Exit(calls == 1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TclUnload, ExitDuringAnApdu) {
    EXPECT_EXIT(
        {
            // Kept alive past exit's handlers: the worker reads from it.
            auto* sim = new krnsim::Simulator;
            auto* card = new krnsim::TclCard(sim->reader());
            if (startSilentApdu(*sim, *card) == nullptr) std::_Exit(2);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
