// A program that exits with a live authenticated channel: it authenticates a
// reader on 127.0.0.1:<port> with the key given in hex and returns from main.
// The readers' teardown must run before libcrypto's own exit clean-up.
// Exit codes: 0 after a clean teardown, 2 to 4 when a step before failed.
#include <vkkrn.h>
#include <vktcp.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    void* tcp = ::dlopen("libvktcp.so", RTLD_NOW | RTLD_GLOBAL);
    if (tcp == nullptr) return 2;
    auto connect = reinterpret_cast<VKTCP_Connect_Fn>(::dlsym(tcp, "VKTCP_Connect"));
    if (connect == nullptr) return 2;
    const int handle = connect("127.0.0.1", std::atoi(argv[1]));
    if (handle <= 0) return 3;
    const int reader = VKKRN_NewReader(handle);
    if (reader <= 0) return 3;
    std::string key = argv[2];
    if (VKKRN_0xAE_ReaderAuthent(reader, 1, 0, 2, static_cast<int>(key.size() / 2),
                                 reinterpret_cast<unsigned char*>(key.data()), 1) != 0)
        return 4;
    unsigned char version[64];
    if (VKKRN_0x65_SoftVersion(reader, 1, version, 0) != 0) return 4;
    return 0;
}
