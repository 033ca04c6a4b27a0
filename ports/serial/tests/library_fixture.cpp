#include "library_fixture.h"

#include <dlfcn.h>

#include <algorithm>

namespace vkcom_test {

void PortTest::SetUp() {
    bind();
    ASSERT_TRUE(api.complete());
}

void PortTest::TearDown() {
    if (api.ClosePort != nullptr)
        for (const int handle : opened_)
            api.ClosePort(handle);
    opened_.clear();
    unbind();
}

void LibraryTest::bind() {
    library = ::dlopen("libvkcom.so", RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    api = loadVizerApi(library);
}

void LibraryTest::unbind() {
    if (library != nullptr) ::dlclose(library);
    library = nullptr;
}

bool LibraryTest::unload() {
    forgetPorts();
    unbind();
    api = VizerApi();
    void* still = ::dlopen("libvkcom.so", RTLD_NOW | RTLD_NOLOAD);
    if (still == nullptr) return true;
    ::dlclose(still);
    return false;
}

int PortTest::open(const std::string& text) {
    std::string copy = text;
    const int handle = api.OpenPort(copy.data());
    if (handle > 0) opened_.push_back(handle);
    return handle;
}

int PortTest::openLine(PtyLines& lines, int index, int timeoutMs) {
    const int handle = open(lines.portText(index));
    if (handle > 0) set(handle, "TIMEOUT", std::to_string(timeoutMs).c_str());
    return handle;
}

int PortTest::close(int handle) {
    opened_.erase(std::remove(opened_.begin(), opened_.end(), handle), opened_.end());
    return api.ClosePort(handle);
}

int PortTest::command(int handle, const char* name, std::string value) {
    std::string n(name);
    value.resize(std::max<std::size_t>(value.size(), 16) + 1, '\0');
    return api.DoPortCmd(handle, n.data(), value.data());
}

int PortTest::transceive(int handle, Bytes request, Bytes& reply, int replySize) {
    reply.assign(static_cast<std::size_t>(std::max(replySize, 1)), 0xEE);
    const int n =
        api.Transceive(handle, request.data(), static_cast<int>(request.size()), reply.data(), replySize);
    reply.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n;
}

int PortTest::receive(int handle, Bytes& reply, int replySize) {
    reply.assign(static_cast<std::size_t>(std::max(replySize, 1)), 0xEE);
    const int n = api.Receive(handle, reply.data(), replySize);
    reply.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return n;
}

} // namespace vkcom_test
