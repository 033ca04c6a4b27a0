// vkkrn_example: asks a KRN reader, through the command exports, for its
// software version (0x65), its reader information (0x66 mode 0) and the
// transponders in its field (0xB0 inventory); prints each reply with a hex
// dump, its status text and the protocol lines the library reports to an event
// handler. Without arguments it starts the simulated reader
// in-process on loopback TCP, and then lets it notify a listener (task 3).
#include "arguments.h"
#include "listener_demo.h"
#include "report.h"

#include <krnsim/demo_field.h>
#include <krnsim/simulator.h>
#include <vkcom/vizer.h>
#include <vkkrn.h>
#include <vktcp.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using vkexample::Arguments;

constexpr unsigned char kBusAddress = 0xFF; // any reader on the line
constexpr int kBufferSize = 0x10001;

std::string errorText(int code) {
    char text[512] = {};
    VKKRN_GetErrorText(code, text);
    return text;
}

// The event handler: prints the protocol lines (events 2 and 3) and errors (101).
void printProtocolLine(void* /*pAny*/, unsigned char* data, int /*value*/, int event) {
    std::printf("  %s %s\n", event == 101 ? "error:" : "line:", reinterpret_cast<const char*>(data));
}

struct Command {
    unsigned char code;
    const char* name;
    // Sends the command through its export and stores the reply data in `data`:
    // the reply's status (0 or more) or a negative code.
    int (*ask)(int reader, std::vector<unsigned char>& data);
};

// 0x65 and 0x66 report no length: their reply data come as hex text, which gives it.
int askAsHexText(int status, const std::vector<unsigned char>& text, std::vector<unsigned char>& data) {
    data = status >= 0 ? vkexample::bytesFromHexText(reinterpret_cast<const char*>(text.data()))
                       : std::vector<unsigned char>{};
    return status;
}

int askSoftVersion(int reader, std::vector<unsigned char>& data) {
    std::vector<unsigned char> text(2 * kBufferSize + 1, 0);
    return askAsHexText(VKKRN_0x65_SoftVersion(reader, kBusAddress, text.data(), 1), text, data);
}

int askReaderInfo(int reader, std::vector<unsigned char>& data) {
    std::vector<unsigned char> text(2 * kBufferSize + 1, 0);
    return askAsHexText(VKKRN_0x66_ReaderInfo(reader, kBusAddress, 0, text.data(), 1), text, data);
}

// The 0xB0 inventory: the request [01][00] as bytes (format 0); the reply data
// come back with their length.
int askInventory(int reader, std::vector<unsigned char>& data) {
    unsigned char request[] = {0x01, 0x00};
    data.assign(kBufferSize, 0);
    int length = 0;
    const int status =
        VKKRN_0xB0_ISOCmd(reader, kBusAddress, request, sizeof request, data.data(), &length, 0);
    data.resize(status >= 0 && length > 0 ? static_cast<std::size_t>(length) : 0);
    return status;
}

void printVersions() {
    char version[64] = {};
    std::printf("Library versions\n");
    VKKRN_GetDLLVersion(version);
    std::printf("  libvkkrn  %s\n", version);
    VKTCP_GetDLLVersion(version);
    std::printf("  libvktcp  %s\n", version);
    VIZER_GetDLLVersion(version);
    std::printf("  libvkcom  %s\n", version);
}

// Opens the port the arguments name: its handle, or a negative code (printed).
int openPort(const Arguments& args, std::uint16_t simulatorPort) {
    if (args.target != Arguments::Target::Serial) {
        const std::string host = args.target == Arguments::Target::Tcp ? args.host : "127.0.0.1";
        const int port = args.target == Arguments::Target::Tcp ? args.port : simulatorPort;
        const int handle = VKTCP_Connect(host.c_str(), port);
        if (handle < 0) {
            char text[256] = {};
            VKTCP_GetErrorText(handle, text);
            std::printf("Cannot connect to %s:%d: %s\n", host.c_str(), port, text);
        } else {
            std::printf("Reader on %s:%d%s\n", host.c_str(), port,
                        args.target == Arguments::Target::Simulator ? " (the built-in simulated reader)"
                                                                    : "");
        }
        return handle;
    }
    char key[] = "PORTPREFIX";
    std::string prefix = args.portPrefix;
    VIZER_SetPortPara(0, key, prefix.data());
    std::string number = std::to_string(args.portNumber);
    const int handle = VIZER_OpenPort(number.data());
    if (handle >= 0 && args.baud > 0) {
        char baudKey[] = "BAUD";
        std::string baud = std::to_string(args.baud);
        const int rc = VIZER_SetPortPara(handle, baudKey, baud.data());
        if (rc < 0) {
            char text[256] = {};
            VIZER_GetErrorText(rc, text);
            std::printf("Cannot set %d baud: %s\n", args.baud, text);
            VIZER_ClosePort(handle);
            return rc;
        }
    }
    if (handle < 0) {
        char text[256] = {};
        VIZER_GetErrorText(handle, text);
        std::printf("Cannot open %s%d: %s\n", args.portPrefix.c_str(), args.portNumber - 1, text);
    } else {
        std::printf("Reader on %s%d\n", args.portPrefix.c_str(), args.portNumber - 1);
    }
    return handle;
}

void printReply(unsigned char code, const std::vector<unsigned char>& data) {
    std::printf("%s", vkexample::hexDump(data).c_str());
    if (code == 0x65) {
        const std::string version = vkexample::describeSoftwareVersion(data);
        if (!version.empty()) std::printf("    software version %s\n", version.c_str());
    } else if (code == 0x66) {
        for (const std::string& line : vkexample::describeReaderInfo(data))
            std::printf("    %s\n", line.c_str());
    } else if (code == 0xB0) {
        const auto found = vkexample::decodeInventory(data);
        if (!found) {
            std::printf("    (not in the inventory layout [n][n x (type, 8-byte UID)])\n");
            return;
        }
        std::printf("    %zu transponder%s\n", found->size(), found->size() == 1 ? "" : "s");
        for (std::size_t i = 0; i < found->size(); ++i)
            std::printf("    %zu: type 0x%02X  UID %s\n", i + 1, (*found)[i].type,
                        vkexample::uidText((*found)[i]).c_str());
    }
}

int run(const Arguments& args) {
    std::unique_ptr<krnsim::Simulator> simulator;
    std::uint16_t simulatorPort = 0;
    if (args.target == Arguments::Target::Simulator) {
        simulator = std::make_unique<krnsim::Simulator>();
        krnsim::addDemoTags(simulator->reader());
        if (!args.key.empty())
            simulator->reader().setAuthenticationKey(vkexample::bytesFromHexText(args.key.c_str()));
        simulatorPort = simulator->listenTcp().port;
    }

    printVersions();
    const int port = openPort(args, simulatorPort);
    if (port < 0) return 1;
    const int reader = VKKRN_NewReader(port);
    if (reader < 0) {
        std::printf("Cannot create a reader: %s\n", errorText(reader).c_str());
        return 1;
    }
    VKKRN_SetReaderPara(reader, "LOGPROT", "1");
    _VKKRN_EVENT_INIT handler{};
    handler.uiUse = 1; // sent and received protocol lines, errors
    handler.uiFlag = 7;
    handler.callback.form7 = &printProtocolLine;
    VKKRN_AddEventHandler(reader, &handler);

    if (!args.key.empty()) {
        // Key type 0, 1, 2 for 16, 24, 32 key bytes; the key as hex text (format 1).
        const int keyLength = static_cast<int>(args.key.size() / 2);
        std::string key = args.key;
        std::printf("\n0xAE reader authentication (AES-%d)\n", keyLength * 8);
        const int status = VKKRN_0xAE_ReaderAuthent(reader, kBusAddress, 0, keyLength / 8 - 2, keyLength,
                                                    reinterpret_cast<unsigned char*>(key.data()), 1);
        if (status != 0) {
            std::printf("  failed: %s\n",
                        status < 0 ? errorText(status).c_str() : "the reader refused the authentication");
            VKKRN_DelEventHandler(reader, &handler);
            VKKRN_DeleteReader(reader);
            return 1;
        }
        std::printf("  authenticated: the commands below travel enciphered\n");
    }

    const Command commands[] = {
        {0x65, "software version", &askSoftVersion},
        {0x66, "reader information, mode 0", &askReaderInfo},
        {0xB0, "inventory", &askInventory},
    };
    std::vector<unsigned char> data;
    int result = 0;
    for (const Command& command : commands) {
        std::printf("\n0x%02X %s\n", command.code, command.name);
        const int status = command.ask(reader, data);
        if (status < 0) {
            std::printf("  failed: %s\n", errorText(status).c_str());
            result = 1;
            break;
        }
        char text[128] = {};
        VKKRN_GetStatusText(static_cast<unsigned char>(status), text);
        std::printf("  status 0x%02X: %s\n", status, text);
        printReply(command.code, data);
    }
    // The built-in reader also notifies: a listener on this reader receives it.
    if (result == 0 && args.target == Arguments::Target::Simulator)
        result = vkexample::demoNotification(reader);

    VKKRN_DelEventHandler(reader, &handler);
    VKKRN_DeleteReader(reader);
    if (args.target == Arguments::Target::Serial)
        VIZER_ClosePort(port);
    else
        VKTCP_DisConnect(port);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const Arguments args = vkexample::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!args.error.empty()) {
        std::fprintf(stderr, "vkkrn_example: %s\n%s", args.error.c_str(), vkexample::kUsage);
        return 2;
    }
    if (args.target == Arguments::Target::Help) {
        std::printf("%s", vkexample::kUsage);
        return 0;
    }
    return run(args);
}
