// The result handlers' store on a reader module of the core.
#ifndef NUBOKRN4J_MODULE_STORE_H
#define NUBOKRN4J_MODULE_STORE_H

#include "task_results.h"

#include <vkdm/vkdm_core.h>

namespace nubokrn4j {

class ModuleStore final : public ResultStore {
  public:
    explicit ModuleStore(VKDM_KRNReaderModule& module) : module_(module) {}
    int setByte(const char* id, std::uint8_t value) override;
    int setUint(const char* id, std::uint32_t value) override;
    int setBytes(const char* id, const std::uint8_t* data, int count) override;
    int getByte(const char* id, std::uint8_t& value) override;
    void setLastError(int code) override;
    void setRecordCount(int count) override;
    int storeInventory(const std::uint8_t* data, int length, int status) override;
    int storeRecords(std::uint8_t command, const std::uint8_t* data, int length) override;
    void clearFirstSelected() override;

  private:
    VKDM_KRNReaderModule& module_;
};

} // namespace nubokrn4j

#endif
