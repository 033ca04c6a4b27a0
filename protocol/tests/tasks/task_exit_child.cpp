// A program that ends with worker threads running: task 2 idling on a reader
// connected to 127.0.0.1:<port>, and a scan thread on a portless reader. It
// exits through exit(), so the library's teardown must stop and join them.
// Exit codes: 0 after a clean teardown, 2 to 4 when a step before failed.
#include <vkkrn.h>
#include <vktcp.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

std::atomic<int> g_calls{0};

void onTask(void*, int, int, int, unsigned char, unsigned char*, int) {
    g_calls.fetch_add(1);
}

void onScan(void*, unsigned char*, int) {}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    void* tcp = ::dlopen("libvktcp.so", RTLD_NOW | RTLD_GLOBAL);
    if (tcp == nullptr) return 2;
    auto connect = reinterpret_cast<VKTCP_Connect_Fn>(::dlsym(tcp, "VKTCP_Connect"));
    if (connect == nullptr) return 2;
    const int reader = VKKRN_NewReader(connect("127.0.0.1", std::atoi(argv[1])));
    _VKKRN_TASK_INIT task{};
    task.ucBusAdr = 1;
    task.uiMode = 1;
    task.uiTimeout = 5;
    task.uiCallbackVariant = 1;
    task.callback.form1 = &onTask;
    if (reader <= 0 || VKKRN_StartAsyncTask(reader, 2, &task, nullptr) != 0) return 3;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (g_calls.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (g_calls.load() == 0) return 3;
    _VKKRN_EVENT_INIT scan{};
    scan.uiUse = 4;
    scan.uiFlag = 6;
    scan.callback.form6 = &onScan;
    if (VKKRN_AddEventHandler(VKKRN_NewReader(0), &scan) != 0) return 4;
    std::exit(0);
}
