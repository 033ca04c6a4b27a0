// A result store that records what the result handlers write, for the unit
// tests and the fuzz target of the pure steps.
#ifndef NUBOKRN4J_TESTS_RECORDING_STORE_H
#define NUBOKRN4J_TESTS_RECORDING_STORE_H

#include "task_results.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace nubokrn4j::testing {

class RecordingStore final : public ResultStore {
  public:
    int setByte(const char* id, std::uint8_t value) override {
        writes[id] = {value};
        return byteWriteResult;
    }
    int setUint(const char* id, std::uint32_t value) override {
        uints[id] = value;
        return 0;
    }
    int setBytes(const char* id, const std::uint8_t* data, int count) override {
        writes[id] = std::vector<std::uint8_t>(data, data + count);
        return 0;
    }
    int getByte(const char* id, std::uint8_t& value) override {
        auto it = writes.find(id);
        if (it == writes.end() || it->second.empty()) return -104;
        value = it->second[0];
        return 0;
    }
    void setLastError(int code) override { lastError = code; }
    void setRecordCount(int count) override { recordCount = count; }
    int storeInventory(const std::uint8_t* data, int length, int status) override {
        stored = std::vector<std::uint8_t>(data, data + length);
        storedStatus = status;
        return storeResult;
    }
    int storeRecords(std::uint8_t command, const std::uint8_t* data, int length) override {
        stored = std::vector<std::uint8_t>(data, data + length);
        storedCommand = command;
        return storeResult;
    }
    void clearFirstSelected() override { ++selectedCleared; }

    std::map<std::string, std::vector<std::uint8_t>> writes;
    std::map<std::string, std::uint32_t> uints;
    int lastError = 12345;
    int recordCount = -1;
    std::vector<std::uint8_t> stored;
    int storedStatus = -1;
    int storedCommand = -1;
    int selectedCleared = 0;
    int storeResult = 0;
    int byteWriteResult = 0;
};

} // namespace nubokrn4j::testing

#endif
