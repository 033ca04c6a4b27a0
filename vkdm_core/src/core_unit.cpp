// VKDM_KRNFunctionUnit: unit objects, their tree and texts.
#include "codes.h"
#include "control.h"
#include "state.h"

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

// The unit commands go through the function-unit library, which the core does
// not link yet.
int VKDM_KRNFunctionUnit::SendProtocol(unsigned char command) {
    int forced = 0;
    if (enter("SendProtocol", "unit", "", -1, std::to_string(command), forced)) return forced;
    SetLastError(kNotSupported);
    return kNotSupported;
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

// Unit status texts belong to the function-unit library, not linked yet.
int VKDM_KRNFunctionUnit::GetStatusText(char* text, unsigned char status) {
    if (text == nullptr) return kNullArgument;
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "VKDM: unit status 0x%02X (function-unit library not linked)",
                  status);
    copyText(text, buffer);
    return kNotSupported;
}
