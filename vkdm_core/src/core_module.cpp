// VKDM_KRNReaderModule: connection, port parameters, reader information and
// diagnostic, reports; the control interface's record injection.
#include "codes.h"
#include "config_file.h"
#include "control.h"
#include "state.h"

#include <vkcom/vizer.h>
#include <vkdm/vkdm_control.h>
#include <vkkrn.h>
#include <vktcp.h>
#include <vkusb/vkusb.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

using namespace vkdm;

namespace {

template <typename F> F* bound(int id) {
    return reinterpret_cast<F*>(portFunction(id));
}

// libvktcp hands a second connect to the same host and port the existing
// socket and ends it at the first disconnect; modules count their uses of a
// socket here so that only the last one closes it.
std::mutex g_socketLock; // leaf; guards g_socketUsers
std::map<int, int> g_socketUsers;

void socketUsed(int handle) {
    std::lock_guard<std::mutex> guard(g_socketLock);
    ++g_socketUsers[handle];
}

// True when the caller was the last user.
bool socketReleased(int handle) {
    std::lock_guard<std::mutex> guard(g_socketLock);
    auto it = g_socketUsers.find(handle);
    if (it == g_socketUsers.end()) return true;
    if (--it->second > 0) return false;
    g_socketUsers.erase(it);
    return true;
}

int closePort(int kind, int handle) {
    switch (kind) {
    case VKDM_PORT_SERIAL:
        if (auto* close = bound<decltype(VIZER_ClosePort)>(1021)) return close(handle);
        return kNotSupported;
    case VKDM_PORT_TCP:
        if (!socketReleased(handle)) return 0;
        if (auto* close = bound<decltype(VKTCP_DisConnect)>(1222)) return close(handle);
        return kNotSupported;
    case VKDM_PORT_USB:
        if (auto* close = bound<decltype(VKUSB_CloseDevice)>(1131)) return close(handle);
        return kNotSupported;
    default: return 0;
    }
}

} // namespace

VKDM_KRNReaderModule::VKDM_KRNReaderModule() : m_module(std::make_unique<ModuleState>()) {
    addModule(this);
}

VKDM_KRNReaderModule::~VKDM_KRNReaderModule() {
    removeModule(this);
    if (m_module->readerHnd > 0) {
        VKKRN_DeleteReader(m_module->readerHnd);
        closePort(m_PortKind, m_module->portHnd);
    }
}

// Creates the reader on an open port; undoes the port when that fails.
static int attachReader(ModuleState& m, int kind, int portHandle, int frameSupport) {
    const int reader = VKKRN_NewReader(portHandle);
    if (reader < 0) {
        closePort(kind, portHandle);
        return reader;
    }
    if (frameSupport == 2) VKKRN_SetReaderPara(reader, "FRAMESUPPORT", "ADVANCED");
    m.portHnd = portHandle;
    m.readerHnd = reader;
    return 0;
}

int VKDM_KRNReaderModule::ConnectCOMM(int portNumber) {
    int forced = 0;
    if (enter("ConnectCOMM", "", "", -1, std::to_string(portNumber), forced)) return forced;
    std::lock_guard<std::mutex> guard(m_module->connectLock);
    if (m_module->readerHnd > 0) return kAlreadyConnected;
    auto* open = bound<decltype(VIZER_OpenPort)>(1020);
    if (open == nullptr) return kDependency;
    char number[16];
    std::snprintf(number, sizeof number, "%d", portNumber);
    const int port = open(number);
    if (port < 0) {
        SetLastError(port);
        return port;
    }
    if (port == 0) return kNotConnected;
    const int rc = attachReader(*m_module, VKDM_PORT_SERIAL, port, State().frameSupport);
    if (rc < 0) {
        SetLastError(rc);
        return rc;
    }
    m_PortKind = VKDM_PORT_SERIAL;
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule::ConnectTCP(const char* host, int port) {
    int forced = 0;
    if (enter("ConnectTCP", "", host != nullptr ? host : "", -1, std::to_string(port), forced)) return forced;
    if (host == nullptr) return kNullArgument;
    std::lock_guard<std::mutex> guard(m_module->connectLock);
    if (m_module->readerHnd > 0) return kAlreadyConnected;
    auto* connect = bound<decltype(VKTCP_Connect)>(1221);
    if (connect == nullptr) return kDependency;
    const int socket = connect(host, port);
    if (socket < 0) {
        SetLastError(socket);
        return socket;
    }
    socketUsed(socket);
    const int rc = attachReader(*m_module, VKDM_PORT_TCP, socket, State().frameSupport);
    if (rc < 0) {
        SetLastError(rc);
        return rc;
    }
    m_module->host = host;
    m_module->tcpPort = port;
    m_PortKind = VKDM_PORT_TCP;
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule::ConnectUSB(unsigned int deviceId) {
    int forced = 0;
    if (enter("ConnectUSB", "", "", -1, std::to_string(deviceId), forced)) return forced;
    std::lock_guard<std::mutex> guard(m_module->connectLock);
    if (m_module->readerHnd > 0) return kAlreadyConnected;
    auto* scan = bound<decltype(VKUSB_Scan)>(1110);
    auto* open = bound<decltype(VKUSB_OpenDevice)>(1130);
    if (scan == nullptr || open == nullptr) return kDependency;
    int rc = scan(VKUSB_SCAN_ALL, nullptr);
    if (rc >= 0) rc = open(deviceId);
    if (rc < 0) {
        SetLastError(rc);
        return rc;
    }
    rc = attachReader(*m_module, VKDM_PORT_USB, rc, State().frameSupport);
    if (rc < 0) {
        SetLastError(rc);
        return rc;
    }
    m_PortKind = VKDM_PORT_USB;
    SetLastError(0);
    return 0;
}

int VKDM_KRNReaderModule::DisConnect() {
    int forced = 0;
    if (enter("DisConnect", forced)) return forced;
    std::lock_guard<std::mutex> guard(m_module->connectLock);
    const int reader = m_module->readerHnd;
    if (reader <= 0) return kNotConnected;
    // Refused on a reader-library worker thread: the module stays connected.
    int rc = VKKRN_DeleteReader(reader);
    if (rc < 0) {
        SetLastError(rc);
        return rc;
    }
    rc = closePort(m_PortKind, m_module->portHnd);
    m_module->readerHnd = 0;
    m_module->portHnd = 0;
    m_PortKind = VKDM_PORT_NONE;
    rc = rc < 0 ? rc : 0;
    SetLastError(rc);
    return rc;
}

bool VKDM_KRNReaderModule::IsConnected() {
    return m_module->readerHnd > 0;
}

int VKDM_KRNReaderModule::GetTcpConnectionState() {
    int forced = 0;
    if (enter("GetTcpConnectionState", forced)) return forced;
    std::string host;
    int port = 0;
    {
        std::lock_guard<std::mutex> guard(m_module->connectLock);
        if (m_PortKind != VKDM_PORT_TCP) return kWrongPortKind;
        host = m_module->host;
        port = m_module->tcpPort;
    }
    auto* state = reinterpret_cast<decltype(VKTCP_GetSocketState)*>(tcpSymbol("VKTCP_GetSocketState"));
    if (state == nullptr) return kDependency;
    return state(host.c_str(), port);
}

int VKDM_KRNReaderModule::GetPortHnd() {
    return m_module->portHnd;
}
int VKDM_KRNReaderModule::GetReaderHnd() {
    return m_module->readerHnd;
}

namespace vkdm {

// Sets (value read) or gets (value written, 256 bytes) a parameter of the
// module's port library; unconnected, the serial library's library-wide keys.
int portPara(VKDM_KRNReaderModule& module, bool set, const char* key, char* value) {
    if (key == nullptr || value == nullptr) return kNullArgument;
    const int handle = module.GetPortHnd();
    const int kind = handle > 0 ? static_cast<int>(module.m_PortKind) : VKDM_PORT_NONE;
    char keyCopy[256];
    if (std::strlen(key) >= sizeof keyCopy) return kValueTooLong;
    std::strcpy(keyCopy, key);
    if (set) {
        char valueCopy[256];
        if (std::strlen(value) >= sizeof valueCopy) return kValueTooLong;
        std::strcpy(valueCopy, value);
        switch (kind) {
        case VKDM_PORT_TCP:
            if (auto* f = bound<decltype(VKTCP_SetSocketPara)>(1225)) return f(handle, keyCopy, valueCopy);
            break;
        case VKDM_PORT_USB:
            if (auto* f = bound<decltype(VKUSB_SetDevicePara)>(1135)) return f(handle, keyCopy, valueCopy);
            break;
        default:
            if (auto* f = bound<decltype(VIZER_SetPortPara)>(1024))
                return f(kind == VKDM_PORT_SERIAL ? handle : 0, keyCopy, valueCopy);
            break;
        }
        return kDependency;
    }
    // The port libraries write at most 256 bytes (TCP values 128).
    char buffer[1024] = {};
    int rc = kDependency;
    switch (kind) {
    case VKDM_PORT_TCP:
        if (auto* f = bound<decltype(VKTCP_GetSocketPara)>(1224)) rc = f(handle, keyCopy, buffer);
        break;
    case VKDM_PORT_USB:
        if (auto* f = bound<decltype(VKUSB_GetDevicePara)>(1134)) rc = f(handle, keyCopy, buffer);
        break;
    default:
        if (auto* f = bound<decltype(VIZER_GetPortPara)>(1023))
            rc = f(kind == VKDM_PORT_SERIAL ? handle : 0, keyCopy, buffer);
        break;
    }
    buffer[255] = '\0';
    std::strcpy(value, buffer);
    return rc;
}

} // namespace vkdm

int VKDM_KRNReaderModule::SetPortPara(const char* key, const char* value) {
    int forced = 0;
    if (enter("SetPortPara", "", key != nullptr ? key : "", -1, value != nullptr ? value : "", forced))
        return forced;
    const int rc = portPara(*this, true, key, const_cast<char*>(value));
    SetLastError(rc < 0 ? rc : 0);
    return rc;
}

int VKDM_KRNReaderModule::GetPortPara(const char* key, char* value) {
    int forced = 0;
    if (enter("GetPortPara", "", key != nullptr ? key : "", -1, "", forced)) return forced;
    const int rc = portPara(*this, false, key, value);
    SetLastError(rc < 0 ? rc : 0);
    return rc;
}

int VKDM_KRNReaderModule::TransferXmlFileToReaderCfg(const char* fileName) {
    int forced = 0;
    if (enter("TransferXmlFileToReaderCfg", "", fileName != nullptr ? fileName : "", -1, "", forced))
        return forced;
    if (fileName == nullptr) return kNullArgument;
    const int rc = Serialize(false, fileName);
    if (rc < 0) return rc;
    return WriteCompleteConfiguration(true);
}

int VKDM_KRNReaderModule::TransferReaderCfgToXmlFile(const char* fileName) {
    int forced = 0;
    if (enter("TransferReaderCfgToXmlFile", "", fileName != nullptr ? fileName : "", -1, "", forced))
        return forced;
    if (fileName == nullptr) return kNullArgument;
    const int rc = ReadCompleteConfiguration(true);
    if (rc < 0) return rc;
    return Serialize(true, fileName);
}

// Reader authentication (0xAE) with the shared AES key given as hex text (key
// type 0, 1, 2: 16, 24, 32 bytes); the first request byte is 0. On success the
// reader's frames are advanced from then on.
int VKDM_KRNReaderModule::ReaderAuthentication(unsigned char type, const char* key) {
    int forced = 0;
    if (enter("ReaderAuthentication", "", "", -1, std::to_string(type), forced)) return forced;
    if (key == nullptr) return commandResult(*this, kNullArgument);
    const int reader = m_module->readerHnd;
    if (reader <= 0) return commandResult(*this, kNotConnected);
    // libvkkrn takes at most 64 key bytes: a longer text is its -4051 as well.
    char text[132] = {};
    const std::size_t length = ::strnlen(key, 130);
    std::memcpy(text, key, length);
    const int keyLength = static_cast<int>((length + 1) / 2);
    const int rc = VKKRN_0xAE_ReaderAuthent(reader, GetBusAddress(), 0x00, type, keyLength,
                                            reinterpret_cast<unsigned char*>(text), 1);
    if (rc == 0) State().frameSupport = 2;
    return commandResult(*this, rc);
}

// Asks the reader's running task (an inventory on every trigger) for its next pass.
int VKDM_KRNReaderModule::TriggerAsyncTask() {
    int forced = 0;
    if (enter("TriggerAsyncTask", forced)) return forced;
    const int reader = m_module->readerHnd;
    if (reader <= 0) return commandResult(*this, kNotConnected);
    const int rc = VKKRN_TriggerAsyncTask(reader);
    SetLastError(rc < 0 ? rc : 0);
    return rc;
}

namespace {

// A read of the information or diagnostic record: a forced result, an injected
// record, or the record read from the reader mode by mode (mode 1: every mode).
// The record is read into a copy and then replaced under the module's lock.
template <typename Record, typename Read>
Record* readRecord(VKDM_KRNReaderModule& module, std::mutex& lock, const char* op, unsigned mode,
                   Record& record, const bool& injected, const Record& injectedRecord, Read read) {
    int forced = 0;
    if (enter(op, "", "", -1, std::to_string(mode), forced)) {
        module.SetLastError(forced);
        return forced < 0 ? nullptr : &record;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        if (injected) {
            record = injectedRecord;
            module.SetLastError(0);
            return &record;
        }
    }
    if (mode != 1) {
        module.SetLastError(kUnknownType);
        return nullptr;
    }
    const int reader = module.GetReaderHnd();
    if (reader <= 0) {
        module.SetLastError(kNotConnected);
        return nullptr;
    }
    Record fresh{};
    int laterCode = 0;
    const int rc = read(reader, module.GetBusAddress(), fresh, laterCode);
    if (rc < 0) {
        module.SetLastError(rc);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        record = fresh;
    }
    module.SetLastError(laterCode);
    return &record;
}

} // namespace

VKDM_ReaderInfo* VKDM_KRNReaderModule::ReadReaderInfo(unsigned int mode) {
    VKDM_ReaderInfo* info = readRecord(*this, Memory().lock(), "ReadReaderInfo", mode, m_module->info,
                                       m_module->infoInjected, m_module->injectedInfo, readReaderInfo);
    if (info != nullptr && info->mode00) m_readerType = info->readerType;
    return info;
}

VKDM_ReaderDiagnostic* VKDM_KRNReaderModule::ReadReaderDiagnostic(unsigned int mode) {
    return readRecord(*this, Memory().lock(), "ReadReaderDiagnostic", mode, m_module->diagnostic,
                      m_module->diagnosticInjected, m_module->injectedDiagnostic, readReaderDiagnostic);
}

VKDM_ReaderInfo* VKDM_KRNReaderModule::GetReaderInfo() {
    return &m_module->info;
}
VKDM_ReaderDiagnostic* VKDM_KRNReaderModule::GetReaderDiagnostic() {
    return &m_module->diagnostic;
}

// ---- Reports ------------------------------------------------------------------

namespace {

std::string hex(const unsigned char* data, int count) {
    std::string text;
    char pair[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", data[i]);
        text += pair;
    }
    return text;
}

} // namespace

VkdmKrnReport_ReaderInfo::VkdmKrnReport_ReaderInfo(VKDM_KRNReaderModule* module) : m_module(module) {}
VkdmKrnReport_ReaderInfo::~VkdmKrnReport_ReaderInfo() = default;

std::string VkdmKrnReport_ReaderInfo::BuildReport(unsigned int) {
    if (m_module == nullptr) return "Reader information: none\n";
    const VKDM_ReaderInfo& i = *m_module->GetReaderInfo();
    std::string text = "Reader information\n";
    const struct {
        bool read;
        const char* name;
    } modes[] = {{i.mode00, "00"}, {i.mode01, "01"}, {i.mode02, "02"}, {i.mode03, "03"}, {i.mode04, "04"},
                 {i.mode05, "05"}, {i.mode06, "06"}, {i.mode07, "07"}, {i.mode08, "08"}, {i.mode10, "10"},
                 {i.mode11, "11"}, {i.mode12, "12"}, {i.mode40, "40"}, {i.mode41, "41"}, {i.mode60, "60"},
                 {i.mode61, "61"}, {i.mode80, "80"}};
    text += "  modes read:";
    for (const auto& m : modes) {
        if (m.read) text += std::string(" 0x") + m.name;
    }
    text += "\n";
    if (i.mode00) {
        char line[160];
        std::snprintf(
            line, sizeof line,
            "  RF controller software %02X.%02X, development %02X, hardware type %02X, reader type %u\n"
            "  receive buffer %u bytes, transmit buffer %u bytes\n",
            i.rfcSwVer[0], i.rfcSwVer[1], i.rfcDevVer, i.rfcHwType, i.readerType,
            i.rfcRxBufferSize[0] * 256u + i.rfcRxBufferSize[1],
            i.rfcTxBufferSize[0] * 256u + i.rfcTxBufferSize[1]);
        text += line;
    }
    if (i.mode80) text += "  device id " + hex(i.rfcDevID, 4) + "\n";
    if (i.lanMac) text += "  LAN MAC " + hex(i.lanMacAddr, 6) + "\n";
    return text;
}

VkdmKrnReport_ReaderDiagnostic::VkdmKrnReport_ReaderDiagnostic(VKDM_KRNReaderModule* module)
    : m_module(module) {}
VkdmKrnReport_ReaderDiagnostic::~VkdmKrnReport_ReaderDiagnostic() = default;

std::string VkdmKrnReport_ReaderDiagnostic::BuildReport(unsigned int) {
    if (m_module == nullptr) return "Reader diagnostic: none\n";
    const VKDM_ReaderDiagnostic& d = *m_module->GetReaderDiagnostic();
    std::string text = "Reader diagnostic\n";
    if (d.mode01) text += "  status flags " + hex(&d.flagsA, 1) + " " + hex(&d.flagsB, 1) + "\n";
    if (d.mode04) text += "  internal errors " + hex(&d.intErrorA, 1) + " " + hex(&d.intErrorB, 1) + "\n";
    if (d.mode20)
        text += "  firmware status " + std::string(d.firmwareStatus, strnlen(d.firmwareStatus, 31)) + "\n";
    if (d.mode21) text += "  configuration change status " + hex(&d.configParaChangeStatus, 1) + "\n";
    return text;
}

// ---- Control: injected records -------------------------------------------------

namespace vkdm {
struct ModuleAccess {
    static void storeInfoMode(VKDM_KRNReaderModule& m, unsigned char mode,
                              const std::vector<std::uint8_t>& data) {
        std::lock_guard<std::mutex> guard(m.Memory().lock());
        vkdm::storeInfoMode(mode, data.data(), static_cast<int>(data.size()), m.m_module->info);
    }
    static ModuleState& of(VKDM_KRNReaderModule* m) { return *m->m_module; }
    static std::mutex& lock(VKDM_KRNReaderModule* m) { return m->Memory().lock(); }
    static Tables& tables(VKDM_KRNReaderModule* m) { return m->State().tables; }
};

void storeModuleInfoMode(VKDM_KRNReaderModule& module, unsigned char mode,
                         const std::vector<std::uint8_t>& data) {
    ModuleAccess::storeInfoMode(module, mode, data);
}
} // namespace vkdm

extern "C" int VKDM_CTL_InjectReaderInfo(VKDM_KRNReaderModule* module, const VKDM_ReaderInfo* info) {
    if (module == nullptr) return kNullArgument;
    std::lock_guard<std::mutex> guard(ModuleAccess::lock(module));
    ModuleState& m = ModuleAccess::of(module);
    m.infoInjected = info != nullptr;
    if (info != nullptr) m.injectedInfo = *info;
    return 0;
}

extern "C" int VKDM_CTL_InjectReaderDiagnostic(VKDM_KRNReaderModule* module,
                                               const VKDM_ReaderDiagnostic* diagnostic) {
    if (module == nullptr) return kNullArgument;
    std::lock_guard<std::mutex> guard(ModuleAccess::lock(module));
    ModuleState& m = ModuleAccess::of(module);
    m.diagnosticInjected = diagnostic != nullptr;
    if (diagnostic != nullptr) m.injectedDiagnostic = *diagnostic;
    return 0;
}

// ---- Control: table records ------------------------------------------------------

namespace {

struct RoleName {
    const char* name;
    std::uint32_t id;
};

constexpr RoleName kRoleNames[] = {
    {"flags", vkdm::kRoleFlags},
    {"afi", vkdm::kRoleAfi},
    {"dsfid", vkdm::kRoleDsfid},
    {"iddt", vkdm::kRoleIddt},
    {"direction", vkdm::kRoleDirection},
    {"directionValid", vkdm::kRoleDirectionValid},
    {"typeSpecific", vkdm::kRoleTypeSpecific},
    {"xpcW1", vkdm::kRoleXpcW1},
    {"antNumbers", vkdm::kRoleAntNumbers},
    {"antStatus", vkdm::kRoleAntStatus},
    {"antRssi", vkdm::kRoleAntRssi},
    {"challenge", vkdm::kRoleChallenge},
    {"cryptoBlock", vkdm::kRoleCryptoBlock},
};

} // namespace

extern "C" int VKDM_CTL_PokeTableRecord(VKDM_KRNReaderModule* module, unsigned int table, int index,
                                        const char* role, unsigned int dataId, const unsigned char* bytes,
                                        int count) {
    if (module == nullptr) return kNullArgument;
    std::uint32_t id = dataId;
    if (role != nullptr) {
        id = 0;
        for (const RoleName& r : kRoleNames) {
            if (std::strcmp(r.name, role) == 0) id = r.id;
        }
        if (id == 0) return kUnknownType;
    }
    return ModuleAccess::tables(module).poke(table, index, id, bytes, count);
}

extern "C" int VKDM_CTL_SetReportedSizes(VKDM_KRNReaderModule* module, unsigned int table, int index,
                                         int size1, int size2, int size3, int size4) {
    if (module == nullptr) return kNullArgument;
    const int sizes[4] = {size1, size2, size3, size4};
    return ModuleAccess::tables(module).reportSizes(table, index, sizes);
}
