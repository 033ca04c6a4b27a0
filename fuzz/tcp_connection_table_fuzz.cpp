// The connection-table reader over arbitrary text: one line on its own, and the
// whole input as a table (first line a header).
#include "connection_state.h"

#include <vkcommon/tcp_table.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)vk::parseTcpTableLine(text.c_str());
    if (size == 0) return 0;
    std::FILE* table = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (table == nullptr) return 0;
    const int state = vktcp::connectionStateIn(table, "127.0.0.1", size > 1 ? data[0] * 256 + data[1] : 0);
    std::fclose(table);
    if (state < 0 || state > 11) std::abort();
    return 0;
}
