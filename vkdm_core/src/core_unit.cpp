// VKDM_KRNFunctionUnit: unit objects, their tree and texts.
#include "codes.h"
#include "control.h"
#include "state.h"

#include <vkfu.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

using namespace vkdm;

namespace {

// Guards every unit's parent and children; a leaf.
std::mutex g_treeLock;

} // namespace

VKDM_KRNFunctionUnit::VKDM_KRNFunctionUnit(VKDM_KRNReader* reader, int type)
    : m_unit(std::make_unique<UnitState>()) {
    m_unit->reader = reader;
    m_unit->type = type;
}

VKDM_KRNFunctionUnit::~VKDM_KRNFunctionUnit() {
    std::vector<VKDM_KRNFunctionUnit*> owned;
    {
        std::lock_guard<std::mutex> guard(g_treeLock);
        if (m_unit->parent != nullptr) {
            auto& siblings = m_unit->parent->m_unit->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        }
        for (VKDM_KRNFunctionUnit* child : m_unit->children)
            child->m_unit->parent = nullptr;
        if (m_unit->manageChildren) owned = m_unit->children;
        m_unit->children.clear();
    }
    for (VKDM_KRNFunctionUnit* child : owned)
        delete child;
}

int VKDM_KRNFunctionUnit::GetFUType() {
    return m_unit->type;
}
VKDM_KRNReader* VKDM_KRNFunctionUnit::GetReader() {
    return m_unit->reader;
}
int VKDM_KRNFunctionUnit::GetReaderHnd() {
    return m_unit->reader != nullptr ? m_unit->reader->GetReaderHnd() : 0;
}

int VKDM_KRNFunctionUnit::AddChild(int position, VKDM_KRNFunctionUnit* child) {
    int forced = 0;
    if (enter("AddChild", "", "", -1, std::to_string(position), forced)) return forced;
    if (child == nullptr) return kNullArgument;
    std::lock_guard<std::mutex> guard(g_treeLock);
    auto& children = m_unit->children;
    if (position < 1 || position > static_cast<int>(children.size()) + 1) return kBadPosition;
    for (VKDM_KRNFunctionUnit* u = this; u != nullptr; u = u->m_unit->parent) {
        if (u == child) return kAncestor;
    }
    // A child moves: it leaves its earlier parent.
    if (VKDM_KRNFunctionUnit* old = child->m_unit->parent) {
        auto& siblings = old->m_unit->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), child), siblings.end());
        if (position > static_cast<int>(children.size()) + 1)
            position = static_cast<int>(children.size()) + 1;
    }
    if (position <= static_cast<int>(children.size())) {
        // Replaces the child at that position.
        children[static_cast<std::size_t>(position - 1)]->m_unit->parent = nullptr;
        children[static_cast<std::size_t>(position - 1)] = child;
    } else {
        children.push_back(child);
    }
    child->m_unit->parent = this;
    return 0;
}

int VKDM_KRNFunctionUnit::DelChild(int position) {
    int forced = 0;
    if (enter("DelChild", "", "", -1, std::to_string(position), forced)) return forced;
    std::lock_guard<std::mutex> guard(g_treeLock);
    auto& children = m_unit->children;
    if (position < 1) return kBadPosition;
    if (position > static_cast<int>(children.size())) return kNoChild;
    children[static_cast<std::size_t>(position - 1)]->m_unit->parent = nullptr;
    children.erase(children.begin() + (position - 1));
    return 0;
}

VKDM_KRNFunctionUnit* VKDM_KRNFunctionUnit::GetChild(int position) {
    std::lock_guard<std::mutex> guard(g_treeLock);
    const auto& children = m_unit->children;
    if (position < 1 || position > static_cast<int>(children.size())) return nullptr;
    return children[static_cast<std::size_t>(position - 1)];
}

int VKDM_KRNFunctionUnit::GetChildCount() {
    std::lock_guard<std::mutex> guard(g_treeLock);
    return static_cast<int>(m_unit->children.size());
}

void VKDM_KRNFunctionUnit::SetManageChildMode(bool manage) {
    std::lock_guard<std::mutex> guard(g_treeLock);
    m_unit->manageChildren = manage;
}

bool VKDM_KRNFunctionUnit::GetManageChildMode() {
    std::lock_guard<std::mutex> guard(g_treeLock);
    return m_unit->manageChildren;
}

namespace {

// The unit's data memory for its commands: the unit's bus address and up to
// three values in, the version, the six values and the unit status out.
constexpr const char* kUnitAddressId = "04 00 00 00 01 00 00";
constexpr const char* kUnitValueIds[3] = {"04 01 00 00 01 00 00", "04 01 01 00 01 00 00",
                                          "04 01 02 00 01 00 00"};
constexpr const char* kUnitVersionId = "04 02 00 00 07 00 00";
constexpr const char* kUnitValuesId = "04 03 00 00 06 00 00";
constexpr const char* kUnitStatusId = "04 04 00 00 01 00 00";

struct UnitCall {
    int result = kNotSupported;
    unsigned char status = 0;       // the unit's status byte
    unsigned char output[8] = {};   // version or values
    const char* outputId = nullptr; // where the output goes
};

// The function-unit library's command of this byte for the unit type.
UnitCall runUnitCommand(int type, unsigned char command, int reader, unsigned char bus, unsigned char unit,
                        const unsigned char (&v)[3]) {
    UnitCall c;
    unsigned char* out = c.output;
    if (type == 10) {
        switch (command) {
        case 0xC0:
            c.result = VKFU_DAT_SoftVersion(reader, bus, unit, out);
            c.outputId = kUnitVersionId;
            break;
        case 0xC1: c.result = VKFU_DAT_CPUReset(reader, bus, unit); break;
        case 0xC2: c.result = VKFU_DAT_SetCapacities(reader, bus, unit, v[0], v[1]); break;
        case 0xC3:
            c.result = VKFU_DAT_GetValues(reader, bus, unit, out);
            c.outputId = kUnitValuesId;
            break;
        case 0xC4: c.result = VKFU_DAT_SetOutput(reader, bus, unit, v[0]); break;
        case 0xC5: c.result = VKFU_DAT_ReTuning(reader, bus, unit); break;
        case 0xC6: c.result = VKFU_DAT_StartTuning(reader, bus, unit); break;
        case 0xC7: c.result = VKFU_DAT_SwitchAntenna(reader, bus, unit); break;
        case 0xC8: c.result = VKFU_DAT_StoreSettings(reader, bus, unit); break;
        case 0xC9: c.result = VKFU_DAT_Detect(reader, bus, unit); break;
        case 0xCA: c.result = VKFU_DAT_SetAddress(reader, bus, unit, v[0]); break;
        case 0xCB: c.result = VKFU_DAT_SetMode(reader, bus, unit, v[0]); break;
        default: return c;
        }
    } else if (type == 11) {
        switch (command) {
        case 0xDF:
            c.result = VKFU_MUX_SoftVersion(reader, bus, unit, out);
            c.outputId = kUnitVersionId;
            break;
        case 0xDE: c.result = VKFU_MUX_CPUReset(reader, bus, unit); break;
        case 0xDD: c.result = VKFU_MUX_SelectChannel(reader, bus, unit, v[0], v[1]); break;
        case 0xDC: c.result = VKFU_MUX_Detect(reader, bus, unit); break;
        default: return c;
        }
    } else {
        // The second multiplexer kind reports its status apart from the result.
        switch (command) {
        case 0xDF:
            c.result = VKFU_UMUX_SoftVersion(reader, bus, v[0], v[1], &c.status, out);
            c.outputId = kUnitVersionId;
            break;
        case 0xDE: c.result = VKFU_UMUX_CPUReset(reader, bus, v[0], v[1], &c.status); break;
        case 0xDD: c.result = VKFU_UMUX_SelectChannel(reader, bus, v[0], v[1], v[2], &c.status); break;
        case 0xDC:
            c.result = VKFU_UMUX_Detect_GetPower(reader, bus, v[0], v[1], &c.status, out);
            c.outputId = kUnitValuesId;
            break;
        default: return c;
        }
        if (c.result == 0) c.result = c.status;
        return c;
    }
    if (c.result >= 0) c.status = static_cast<unsigned char>(c.result);
    return c;
}

} // namespace

// The unit's command of this byte through the function-unit library, on the
// unit's reader: its arguments from the unit's data memory, its outputs and
// the unit status written back. The result is the library's (for the second
// multiplexer kind the unit status when the library gives 0).
int VKDM_KRNFunctionUnit::SendProtocol(unsigned char command) {
    int forced = 0;
    if (enter("SendProtocol", "unit", "", -1, std::to_string(command), forced)) return forced;
    VKDM_KRNReader* reader = m_unit->reader;
    const int handle = reader != nullptr ? reader->GetReaderHnd() : 0;
    if (handle <= 0) {
        SetLastError(kNotConnected);
        return kNotConnected;
    }
    std::uint64_t number = 0;
    unsigned char values[3] = {};
    for (int k = 0; k < 3; ++k) {
        Memory().readNumber(kUnitValueIds[k], number);
        values[k] = static_cast<unsigned char>(number);
    }
    number = 0;
    Memory().readNumber(kUnitAddressId, number);
    const UnitCall call = runUnitCommand(m_unit->type, command, handle, reader->GetBusAddress(),
                                         static_cast<unsigned char>(number), values);
    if (call.result >= 0) {
        Memory().write(kUnitStatusId, &call.status, 1);
        if (call.outputId != nullptr)
            Memory().write(call.outputId, call.output, call.outputId == kUnitVersionId ? 7 : 6);
    }
    SetLastError(call.result < 0 ? call.result : 0);
    return call.result;
}

int VKDM_KRNFunctionUnit::GetLastError() {
    return m_unit->lastError;
}
void VKDM_KRNFunctionUnit::SetLastError(int code) {
    m_unit->lastError = code;
}
int VKDM_KRNFunctionUnit::GetErrorText(char* text, int code) {
    return errorText(text, code);
}

// The function-unit library's text of a unit status byte.
int VKDM_KRNFunctionUnit::GetStatusText(char* text, unsigned char status) {
    if (text == nullptr) return kNullArgument;
    char buffer[256] = {};
    const int rc = VKFU_GetStatusText(status, buffer);
    buffer[sizeof buffer - 1] = '\0';
    copyText(text, buffer);
    return rc;
}
