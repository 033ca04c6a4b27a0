#include "value_keys.h"

#include "java_text.h"

namespace nubokrn4j {

std::optional<std::string> ConfigKey::failureFunction(const Texts& texts, VKDM_KRNReaderModule_4J& m) const {
    if (texts.failureHead == nullptr || texts.failureTail == nullptr) return {};
    const char* reader = m.GetReaderName();
    return std::string(texts.failureHead) + "\"" + copy_ + "\"" + texts.failureTail +
           toModifiedUtf8(reader != nullptr ? reader : "");
}

} // namespace nubokrn4j
