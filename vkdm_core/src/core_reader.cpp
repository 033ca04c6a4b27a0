// VKDM_KRNReader: configuration parameters and file, tables, texts, protocols.
#include "codes.h"
#include "config_file.h"
#include "control.h"
#include "hex.h"
#include "state.h"

#include <vkfu.h>
#include <vkkrn.h>
#include <vktcl.h>

#include <cstdio>
#include <cstring>

using namespace vkdm;

namespace {

// Configuration parameter names and where they lie in the image:
// block (0-63), first byte (0-13), byte count.
struct ConfigName {
    const char* name;
    int block;
    int byte;
    int count;
};

constexpr ConfigName kConfigNames[] = {
    {"OperatingMode", 1, 0, 1}, {"ScanInterface", 1, 1, 1}, {"BusAddress", 2, 0, 1},
    {"Baudrate", 2, 1, 1},      {"Frame", 2, 2, 1},         {"ResponseTime", 1, 6, 2},
    {"TagDriver", 3, 0, 2},     {"AntennaPower", 4, 0, 1},  {"IpAddress", 40, 0, 4},
    {"Netmask", 40, 4, 4},      {"Gateway", 40, 8, 4},      {"TcpPort", 41, 0, 2},
    {"DeviceName", 50, 0, 14},
};

std::string configId(const ConfigName& c) {
    char text[64];
    std::snprintf(text, sizeof text, "%02u %02d %02d 00 %02d 00 00", kImageArea, c.block, c.byte, c.count);
    return text;
}

int resolve(const std::string& name, std::string& id) {
    for (const ConfigName& c : kConfigNames) {
        if (name == c.name) {
            id = configId(c);
            return 0;
        }
    }
    return kUnknownName;
}

} // namespace

VKDM_KRNReader::VKDM_KRNReader() : m_state(std::make_unique<ReaderState>(Memory().lock())) {}
VKDM_KRNReader::~VKDM_KRNReader() = default;

ReaderState& VKDM_KRNReader::State() {
    return *m_state;
}

int VKDM_DataBase::GetAccessID(std::string name, std::string& id, bool /*flag*/) {
    int forced = 0;
    if (enter("GetAccessID", "", name, -1, "", forced)) return forced;
    return resolve(name, id);
}

// ---- Configuration parameters ------------------------------------------------

#define VKDM_CONFIG_GET(overload, ...)                                                                       \
    int forced = 0;                                                                                          \
    if (enter("GetConfigPara", overload, name, -1, "", forced)) return forced;                               \
    std::string id;                                                                                          \
    if (int rc = resolve(name, id); rc < 0) return rc;                                                       \
    return VKDM_DataBase::GetData(id.c_str(), __VA_ARGS__)

#define VKDM_CONFIG_SET(overload, text, ...)                                                                 \
    int forced = 0;                                                                                          \
    if (enter("SetConfigPara", overload, name, -1, text, forced)) return forced;                             \
    std::string id;                                                                                          \
    if (int rc = resolve(name, id); rc < 0) return rc;                                                       \
    return VKDM_DataBase::SetData(id.c_str(), __VA_ARGS__)

int VKDM_KRNReader::GetConfigPara(std::string name, bool* value, bool) {
    VKDM_CONFIG_GET("bool", value);
}
int VKDM_KRNReader::GetConfigPara(std::string name, unsigned char* value, bool) {
    VKDM_CONFIG_GET("u8", value);
}
int VKDM_KRNReader::GetConfigPara(std::string name, unsigned char* buffer, int count, bool) {
    VKDM_CONFIG_GET("bytes", buffer, count);
}
int VKDM_KRNReader::GetConfigPara(std::string name, unsigned int* value, bool) {
    VKDM_CONFIG_GET("u32", value);
}
int VKDM_KRNReader::GetConfigPara(std::string name, std::string& value, bool) {
    VKDM_CONFIG_GET("string", value);
}
int VKDM_KRNReader::SetConfigPara(std::string name, bool value, bool) {
    VKDM_CONFIG_SET("bool", value ? "1" : "0", value);
}
int VKDM_KRNReader::SetConfigPara(std::string name, unsigned char value, bool) {
    VKDM_CONFIG_SET("u8", std::to_string(value), value);
}
int VKDM_KRNReader::SetConfigPara(std::string name, unsigned char* buffer, int count, bool) {
    VKDM_CONFIG_SET("bytes", "", buffer, count);
}
int VKDM_KRNReader::SetConfigPara(std::string name, unsigned int value, bool) {
    VKDM_CONFIG_SET("u32", std::to_string(value), value);
}
int VKDM_KRNReader::SetConfigPara(std::string name, std::string value, bool) {
    VKDM_CONFIG_SET("string", value, std::move(value));
}

#undef VKDM_CONFIG_GET
#undef VKDM_CONFIG_SET

namespace vkdm {

int commandResult(VKDM_KRNReader& reader, int rc) {
    if (rc < 0) {
        reader.SetLastError(rc);
    } else {
        reader.SetLastStatus(rc);
        reader.SetLastError(0);
    }
    return rc;
}

} // namespace vkdm

namespace {

// Writes blocks of the image with 0x81 and, when `save`, saves each with 0x82;
// `all` every block, else those changed since the last read or write. Blocks
// not written when a command fails count as changed again.
int writeBlocks(VKDM_KRNReader& reader, DataMemory& memory, bool all, bool save) {
    const int handle = reader.GetReaderHnd();
    if (handle <= 0) return commandResult(reader, kNotConnected);
    const int adr = reader.GetBusAddress();
    std::vector<std::uint8_t> image;
    const std::vector<int> blocks = memory.takeChanged(image, all);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const int b = blocks[k];
        int rc = VKKRN_0x81_WriteConfBlock(handle, adr, b, image.data() + b * kBlockSize, 0);
        if (rc == 0 && save) rc = VKKRN_0x82_SaveConfBlock(handle, adr, b);
        if (rc != 0) {
            memory.markChanged(
                std::vector<int>(blocks.begin() + static_cast<std::ptrdiff_t>(k), blocks.end()));
            return commandResult(reader, rc);
        }
    }
    return commandResult(reader, 0);
}

// Reads every block with 0x80; the image is replaced only when all were read.
int readBlocks(VKDM_KRNReader& reader, DataMemory& memory) {
    const int handle = reader.GetReaderHnd();
    if (handle <= 0) return commandResult(reader, kNotConnected);
    const int adr = reader.GetBusAddress();
    std::vector<std::uint8_t> image(kImageBlocks * kBlockSize, 0);
    for (int b = 0; b < kImageBlocks; ++b) {
        unsigned char out[kBlockSize + 1] = {};
        const int rc = VKKRN_0x80_ReadConfBlock(handle, adr, b, out, 0);
        if (rc != 0) return commandResult(reader, rc);
        std::memcpy(image.data() + b * kBlockSize, out, kBlockSize);
    }
    memory.setImage(image, false);
    return commandResult(reader, 0);
}

} // namespace

// The configuration image against the reader's configuration blocks. A
// command that fails (a code or a status byte) ends the operation with its
// result.
int VKDM_KRNReader::ReadCompleteConfiguration(bool) {
    int forced = 0;
    if (enter("ReadCompleteConfiguration", forced)) return forced;
    return readBlocks(*this, Memory());
}

int VKDM_KRNReader::WriteCompleteConfiguration(bool flag) {
    int forced = 0;
    if (enter("WriteCompleteConfiguration", "", "", -1, flag ? "1" : "0", forced)) return forced;
    return writeBlocks(*this, Memory(), true, flag);
}

int VKDM_KRNReader::ResetCompleteConfiguration(bool) {
    int forced = 0;
    if (enter("ResetCompleteConfiguration", forced)) return forced;
    const int handle = GetReaderHnd();
    if (handle <= 0) return commandResult(*this, kNotConnected);
    for (int b = 0; b < kImageBlocks; ++b) {
        const int rc = VKKRN_0x83_ResetConfBlock(handle, GetBusAddress(), b);
        if (rc != 0) return commandResult(*this, rc);
    }
    return readBlocks(*this, Memory());
}

int VKDM_KRNReader::ApplyConfiguration(bool flag) {
    int forced = 0;
    if (enter("ApplyConfiguration", "", "", -1, flag ? "1" : "0", forced)) return forced;
    return writeBlocks(*this, Memory(), false, flag);
}

int VKDM_KRNReader::Serialize(bool store, const char* fileName) {
    int forced = 0;
    if (enter("Serialize", store ? "store" : "load", fileName != nullptr ? fileName : "", -1, "", forced))
        return forced;
    if (fileName == nullptr) return kNullArgument;
    int rc = 0;
    if (store) {
        rc = storeConfigFile(fileName, Memory().image());
    } else {
        std::vector<std::uint8_t> image = Memory().image();
        rc = loadConfigFile(fileName, image);
        if (rc == 0) Memory().setImage(image, true);
    }
    SetLastError(rc);
    return rc;
}

// ---- Protocols ----------------------------------------------------------------

namespace {

// The information mode that SendProtocol(0x66) asks for.
constexpr const char* kInfoModeId = "03 10 66 00 01 00 00";

// Reply buffer of the transponder commands: the longest reply data and a NUL.
constexpr std::size_t kReplySize = 65529;

// 0x65: the version block names the reader.
int softVersion(VKDM_KRNReader& reader, int handle, char* name, std::size_t nameSize) {
    std::vector<unsigned char> out(131075, 0);
    const int rc = VKKRN_0x65_SoftVersion(handle, reader.GetBusAddress(), out.data(), 1);
    if (rc != 0) return rc;
    const std::vector<std::uint8_t> data = hexReply(out);
    if (data.size() < 4) return kNoData;
    std::snprintf(name, nameSize, "KRN reader V%02X.%02X.%02X, hardware %02X", data[0], data[1], data[2],
                  data[3]);
    return 0;
}

} // namespace

// The reader commands the core sends itself: 0x65 (version into the reader
// name), 0x66 (the information mode of "03 10 66 00 01 00 00" into the
// information record) and 0xB0 (an inventory into the ISO table).
int VKDM_KRNReader::SendProtocol(unsigned char command) {
    int forced = 0;
    if (enter("SendProtocol", "", "", -1, std::to_string(command), forced)) return forced;
    if (command != 0x65 && command != 0x66 && command != 0xB0) return commandResult(*this, kNotSupported);
    const int handle = GetReaderHnd();
    if (handle <= 0) return commandResult(*this, kNotConnected);
    const int adr = GetBusAddress();
    if (command == 0x65) {
        char name[sizeof m_readerName] = {};
        const int rc = softVersion(*this, handle, name, sizeof name);
        if (rc == 0) {
            std::lock_guard<std::mutex> guard(Memory().lock());
            std::memcpy(m_readerName, name, sizeof name);
        }
        return commandResult(*this, rc);
    }
    if (command == 0x66) {
        std::uint64_t mode = 0;
        if (int rc = Memory().readNumber(kInfoModeId, mode); rc < 0) return commandResult(*this, rc);
        auto* module = dynamic_cast<VKDM_KRNReaderModule*>(this);
        if (module == nullptr || !isInfoMode(static_cast<unsigned>(mode)))
            return commandResult(*this, kUnknownType);
        std::vector<unsigned char> out(131075, 0);
        const int rc = VKKRN_0x66_ReaderInfo(handle, adr, static_cast<int>(mode), out.data(), 1);
        if (rc == 0) {
            const std::vector<std::uint8_t> data = hexReply(out);
            storeModuleInfoMode(*module, static_cast<unsigned char>(mode), data);
            if (mode == 0x00 && data.size() > 4) m_readerType = data[4];
        }
        return commandResult(*this, rc);
    }
    // 0xB0 inventory: [01][flags of "03 10 08 01 01 00 00"].
    std::uint64_t flags = 0;
    if (int rc = Memory().readNumber("03 10 08 01 01 00 00", flags); rc < 0) return commandResult(*this, rc);
    unsigned char request[2] = {0x01, static_cast<unsigned char>(flags)};
    std::vector<unsigned char> reply(kReplySize, 0);
    int length = 0;
    const int rc =
        VKKRN_0xB0_ISOCmd(handle, static_cast<unsigned char>(adr), request, 2, reply.data(), &length, 0);
    if (rc == 0 || rc == 0x94) {
        const int stored = m_state->tables.storeInventory(reply.data(), length, rc);
        if (stored < 0) return commandResult(*this, stored);
    } else if (rc == 0x01) {
        m_state->tables.reset(VKDM_TABLE_ISO); // no transponder in the field
    }
    return commandResult(*this, rc);
}

// Baud-rate detection: 0x52 up to `attempts` times with the port's time-out set
// to `timeoutMs` (restored afterwards) until the reader answers.
int VKDM_KRNReader::FindBaudRate(const std::atomic<bool>* stop, int timeoutMs, int attempts,
                                 VKDM_FindBaudRateCallback callback, void* context) {
    int forced = 0;
    if (enter("FindBaudRate", "", "", attempts, std::to_string(timeoutMs), forced)) return forced;
    if (attempts < 1 || timeoutMs < 0 || timeoutMs > 99999) return commandResult(*this, kOutOfRange);
    const int handle = GetReaderHnd();
    auto* module = dynamic_cast<VKDM_KRNReaderModule*>(this);
    if (handle <= 0 || module == nullptr) return commandResult(*this, kNotConnected);
    char saved[256] = {};
    char timeout[16];
    std::snprintf(timeout, sizeof timeout, "%d", timeoutMs);
    const bool restore =
        portPara(*module, false, "TIMEOUT", saved) >= 0 && portPara(*module, true, "TIMEOUT", timeout) >= 0;
    int rc = kNoAnswer;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (stop != nullptr && stop->load()) {
            rc = kStopped;
            break;
        }
        rc = VKKRN_0x52_GetBaud(handle, GetBusAddress());
        if (callback != nullptr) callback(context, attempt, rc);
        if (rc >= 0) break;
    }
    if (restore) portPara(*module, true, "TIMEOUT", saved);
    return commandResult(*this, rc);
}

int VKDM_KRNReader::GetProtocolFrameSupport() {
    return m_state->frameSupport;
}

int VKDM_KRNReader::SetProtocolFrameSupport(int value) {
    int forced = 0;
    if (enter("SetProtocolFrameSupport", "", "", -1, std::to_string(value), forced)) return forced;
    const int reader = GetReaderHnd();
    if (reader > 0) {
        const int rc = VKKRN_SetReaderPara(reader, "FRAMESUPPORT", value == 2 ? "ADVANCED" : "STANDARD");
        if (rc < 0) {
            SetLastError(rc);
            return rc;
        }
    }
    m_state->frameSupport = value == 2 ? 2 : 1;
    SetLastError(0);
    return 0;
}

// ---- Last error, texts, versions ---------------------------------------------

int VKDM_KRNReader::GetLastError() {
    return m_state->lastError;
}
int VKDM_KRNReader::GetLastStatus() {
    return m_state->lastStatus;
}
void VKDM_KRNReader::SetLastError(int code) {
    m_state->lastError = code;
}
void VKDM_KRNReader::SetLastStatus(int status) {
    m_state->lastStatus = status;
}

int VKDM_KRNReader::GetErrorText(char* text, int code) {
    return errorText(text, code);
}

int VKDM_KRNReader::GetStatusText(char* text, unsigned char status) {
    if (text == nullptr) return kNullArgument;
    char buffer[256] = {};
    const int rc = VKKRN_GetStatusText(status, buffer);
    buffer[sizeof buffer - 1] = '\0';
    copyText(text, buffer);
    return rc;
}

namespace {

// A library the core links and the version it answers.
struct LinkedLibrary {
    const char* name;
    void (*version)(char*);
    int minMajor;
};

const LinkedLibrary kLinked[] = {
    {"VKKRN", VKKRN_GetDLLVersion, 7},
    {"VKFU", VKFU_GetDLLVersion, 2},
    {"VKTCL", VKTCL_GetDLLVersion, 2},
};

std::string versionOf(const LinkedLibrary& library) {
    char version[64] = {};
    library.version(version);
    version[sizeof version - 1] = '\0';
    return version;
}

} // namespace

int VKDM_KRNReader::EvalLibDependencies(std::string& text) {
    int forced = 0;
    if (enter("EvalLibDependencies", forced)) return forced;
    if (forcedDependency(forced, text)) return forced;
    text.clear();
    int rc = 0;
    for (const LinkedLibrary& library : kLinked) {
        const std::string version = versionOf(library);
        int major = 0;
        if (std::sscanf(version.c_str(), "%d", &major) != 1 || major < library.minMajor) {
            char need[16];
            std::snprintf(need, sizeof need, "%02d.00.00", library.minMajor);
            text += std::string(library.name) + ": V" + version + " found, at least V" + need + " needed\n";
            rc = kDependency;
        } else {
            text += std::string(library.name) + ": V" + version + " fits\n";
        }
    }
    return rc;
}

std::string VKDM_KRNReader::GetDependentLibVersions() {
    std::string text;
    for (const LinkedLibrary& library : kLinked)
        text += std::string(library.name) + ": V" + versionOf(library) + " installed\n";
    return text;
}

// ---- Tables -------------------------------------------------------------------

namespace {

std::string tableKey(int index, unsigned table, unsigned dataId) {
    char text[64];
    std::snprintf(text, sizeof text, "%u/%d/0x%08X", table, index, dataId);
    return text;
}

} // namespace

#define VKDM_TABLE_ENTER(op, overload, length, value)                                                        \
    int forced = 0;                                                                                          \
    if (enter(op, overload, tableKey(index, table, dataId), length, value, forced)) return forced

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, bool* value) {
    VKDM_TABLE_ENTER("GetTableData", "bool", -1, "");
    if (value == nullptr) return kNullArgument;
    std::uint8_t b = 0;
    const int rc = m_state->tables.get(index, table, dataId, Kind::Flag, &b, 1, -1);
    if (rc == 0) *value = b != 0;
    return rc;
}

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, unsigned char* value) {
    VKDM_TABLE_ENTER("GetTableData", "u8", -1, "");
    if (value == nullptr) return kNullArgument;
    return m_state->tables.get(index, table, dataId, Kind::Byte, value, 1, -1);
}

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, unsigned int* value) {
    VKDM_TABLE_ENTER("GetTableData", "u32", -1, "");
    if (value == nullptr) return kNullArgument;
    return m_state->tables.get(index, table, dataId, Kind::U32, reinterpret_cast<std::uint8_t*>(value), 4,
                               -1);
}

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, std::string& value) {
    VKDM_TABLE_ENTER("GetTableData", "string", -1, "");
    return m_state->tables.getText(index, table, dataId, -1, value);
}

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, unsigned char* buffer,
                                 int count) {
    VKDM_TABLE_ENTER("GetTableData", "bytes", count, "");
    if (buffer == nullptr) return kNullArgument;
    return m_state->tables.get(index, table, dataId, Kind::Bytes, buffer, count, -1);
}

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, int block,
                                 unsigned char* buffer, int count) {
    VKDM_TABLE_ENTER("GetTableData", "block", count, std::to_string(block));
    if (buffer == nullptr) return kNullArgument;
    if (block < 0) return kOutOfRange;
    return m_state->tables.get(index, table, dataId, Kind::Bytes, buffer, count, block);
}

int VKDM_KRNReader::GetTableData(int index, unsigned int table, unsigned int dataId, int block,
                                 std::string& value) {
    VKDM_TABLE_ENTER("GetTableData", "block string", -1, std::to_string(block));
    if (block < 0) return kOutOfRange;
    return m_state->tables.getText(index, table, dataId, block, value);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, bool value) {
    VKDM_TABLE_ENTER("SetTableData", "bool", -1, value ? "1" : "0");
    const std::uint8_t b = value ? 1 : 0;
    return m_state->tables.set(index, table, dataId, Kind::Flag, &b, 1, -1);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, unsigned char value) {
    VKDM_TABLE_ENTER("SetTableData", "u8", -1, std::to_string(value));
    return m_state->tables.set(index, table, dataId, Kind::Byte, &value, 1, -1);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, unsigned int value) {
    VKDM_TABLE_ENTER("SetTableData", "u32", -1, std::to_string(value));
    return m_state->tables.set(index, table, dataId, Kind::U32, reinterpret_cast<const std::uint8_t*>(&value),
                               4, -1);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, std::string value) {
    VKDM_TABLE_ENTER("SetTableData", "string", static_cast<long long>(value.size()), value);
    return m_state->tables.setText(index, table, dataId, -1, value);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, unsigned char* buffer,
                                 int count) {
    VKDM_TABLE_ENTER("SetTableData", "bytes", count, "");
    if (buffer == nullptr) return kNullArgument;
    return m_state->tables.set(index, table, dataId, Kind::Bytes, buffer, count, -1);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, int block,
                                 unsigned char* buffer, int count) {
    VKDM_TABLE_ENTER("SetTableData", "block", count, std::to_string(block));
    if (buffer == nullptr) return kNullArgument;
    if (block < 0) return kOutOfRange;
    return m_state->tables.set(index, table, dataId, Kind::Bytes, buffer, count, block);
}

int VKDM_KRNReader::SetTableData(int index, unsigned int table, unsigned int dataId, int block,
                                 std::string value) {
    VKDM_TABLE_ENTER("SetTableData", "block string", static_cast<long long>(value.size()), value);
    if (block < 0) return kOutOfRange;
    return m_state->tables.setText(index, table, dataId, block, value);
}

int VKDM_KRNReader::FindTableIndex(int index, unsigned int table, unsigned int dataId, bool value) {
    VKDM_TABLE_ENTER("FindTableIndex", "bool", -1, value ? "1" : "0");
    return m_state->tables.find(index, table, dataId, Kind::Flag, value ? 1 : 0, nullptr);
}

int VKDM_KRNReader::FindTableIndex(int index, unsigned int table, unsigned int dataId, unsigned char value) {
    VKDM_TABLE_ENTER("FindTableIndex", "u8", -1, std::to_string(value));
    return m_state->tables.find(index, table, dataId, Kind::Byte, value, nullptr);
}

int VKDM_KRNReader::FindTableIndex(int index, unsigned int table, unsigned int dataId, unsigned int value) {
    VKDM_TABLE_ENTER("FindTableIndex", "u32", -1, std::to_string(value));
    return m_state->tables.find(index, table, dataId, Kind::U32, value, nullptr);
}

int VKDM_KRNReader::FindTableIndex(int index, unsigned int table, unsigned int dataId, std::string value) {
    VKDM_TABLE_ENTER("FindTableIndex", "string", static_cast<long long>(value.size()), value);
    return m_state->tables.find(index, table, dataId, Kind::Bytes, 0, &value);
}

#undef VKDM_TABLE_ENTER

int VKDM_KRNReader::VerifyTableData(int index, unsigned int table, int first, int second) {
    int forced = 0;
    if (enter("VerifyTableData", "", tableKey(index, table, 0), -1,
              std::to_string(first) + "," + std::to_string(second), forced))
        return forced;
    return m_state->tables.verify(index, table);
}

int VKDM_KRNReader::SetTableSize(unsigned int table, int capacity) {
    int forced = 0;
    if (enter("SetTableSize", "capacity", std::to_string(table), capacity, "", forced)) return forced;
    return m_state->tables.setSize(table, capacity, nullptr);
}

int VKDM_KRNReader::SetTableSize(unsigned int table, int capacity, int size1, int size2, int size3,
                                 int size4) {
    int forced = 0;
    if (enter("SetTableSize", "sizes", std::to_string(table), capacity,
              std::to_string(size1) + "," + std::to_string(size2) + "," + std::to_string(size3) + "," +
                  std::to_string(size4),
              forced))
        return forced;
    const int sizes[4] = {size1, size2, size3, size4};
    return m_state->tables.setSize(table, capacity, sizes);
}

int VKDM_KRNReader::GetTableSize(unsigned int table) {
    int forced = 0;
    if (enter("GetTableSize", "", std::to_string(table), -1, "", forced)) return forced;
    return m_state->tables.capacity(table);
}

int VKDM_KRNReader::GetTableLength(unsigned int table) {
    int forced = 0;
    if (enter("GetTableLength", "", std::to_string(table), -1, "", forced)) return forced;
    return m_state->tables.length(table);
}

int VKDM_KRNReader::SetTableLength(unsigned int table, unsigned int length) {
    int forced = 0;
    if (enter("SetTableLength", "", std::to_string(table), length, "", forced)) return forced;
    return m_state->tables.setLength(table, length);
}

int VKDM_KRNReader::ResetTable(unsigned int table, unsigned int mode) {
    int forced = 0;
    if (enter("ResetTable", "", std::to_string(table), -1, std::to_string(mode), forced)) return forced;
    return m_state->tables.reset(table);
}

VKDM_BRMTabItem* VKDM_KRNReader::GetBRMTableItem(unsigned int index) {
    return m_state->tables.brm(index);
}
VKDM_ISOTabItem* VKDM_KRNReader::GetISOTableItem(unsigned int index) {
    return m_state->tables.iso(index);
}

int VKDM_KRNReader::Set_0xB0_IsoTableData(unsigned char* data, int length, int status) {
    int forced = 0;
    if (enter("Set_0xB0_IsoTableData", "", "", length, std::to_string(status), forced)) return forced;
    return m_state->tables.storeInventory(data, length, status);
}

int VKDM_KRNReader::SetBrmTableData(unsigned char command, unsigned char* data, int length) {
    int forced = 0;
    if (enter("SetBrmTableData", "", "", length, std::to_string(command), forced)) return forced;
    // The notification's TR-DATA bytes and record count, stored by the caller.
    std::uint64_t trData1 = 0;
    std::uint64_t trData2 = 0;
    std::uint64_t count = 0;
    Memory().readNumber("03 10 18 02 01 00 00", trData1);
    Memory().readNumber("03 10 18 03 01 00 00", trData2);
    Memory().readNumber("03 10 18 05 02 00 00", count);
    const int rc = m_state->tables.storeBrm(command, data, length, static_cast<std::uint8_t>(trData1),
                                            static_cast<std::uint8_t>(trData2), static_cast<int>(count));
    m_BrmRecordCount = m_state->tables.length(VKDM_TABLE_BRM);
    return rc;
}
