// Where a value of the core lives, as the value natives name it: data memory by
// identifier text, a configuration parameter by name (with its flag), a table
// value by index, table id and data id, or a block of one. Each key turns a
// family's core call into the core operation of its kind, so that one routine
// per family (value_families.h) serves every kind.
#ifndef NUBOKRN4J_VALUE_KEYS_H
#define NUBOKRN4J_VALUE_KEYS_H

#include "jni_frame.h"

#include <optional>
#include <string>
#include <utility>

namespace nubokrn4j {

// A native's function-name texts: the one of its argument checks, and for
// configuration natives the head and tail that frame the parameter name and
// the reader's name when the core fails.
struct Texts {
    const char* function;
    const char* failureHead = nullptr;
    const char* failureTail = nullptr;
};

// Data memory by parameter-identifier text.
class MemoryKey {
  public:
    static constexpr bool kHasText = true;
    explicit MemoryKey(jstring id) : id_(id) {}
    jstring text() const { return id_; }
    void taken(const char* chars) { chars_ = chars; }
    std::optional<std::string> failureFunction(const Texts&, VKDM_KRNReaderModule_4J&) const { return {}; }

    template <typename... A> int get(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.GetData(chars_, std::forward<A>(a)...);
    }
    template <typename... A> int set(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.SetData(chars_, std::forward<A>(a)...);
    }

  private:
    jstring id_;
    const char* chars_ = nullptr;
};

// A configuration parameter by name; the core takes a copy of the name, which
// also names the parameter in a failure's text.
class ConfigKey {
  public:
    static constexpr bool kHasText = true;
    ConfigKey(jstring name, jboolean flag) : name_(name), flag_(flag != JNI_FALSE) {}
    jstring text() const { return name_; }
    void taken(const char* chars) { copy_ = chars; }
    // Head, the name between double quotes, tail, the reader's name.
    std::optional<std::string> failureFunction(const Texts& texts, VKDM_KRNReaderModule_4J& m) const;

    template <typename... A> int get(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.GetConfigPara(copy_, std::forward<A>(a)..., flag_);
    }
    template <typename... A> int set(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.SetConfigPara(copy_, std::forward<A>(a)..., flag_);
    }

  private:
    jstring name_;
    bool flag_;
    std::string copy_;
};

// A value of a table record. Index, table id and data id pass unchanged (the
// ids as unsigned bits).
class TableKey {
  public:
    TableKey(jint index, jint table, jint dataId)
        : index_(index), table_(static_cast<unsigned>(table)), dataId_(static_cast<unsigned>(dataId)) {}
    static constexpr bool kHasText = false;
    jstring text() const { return nullptr; }
    void taken(const char*) {}
    std::optional<std::string> failureFunction(const Texts&, VKDM_KRNReaderModule_4J&) const { return {}; }

    template <typename... A> int get(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.GetTableData(index_, table_, dataId_, std::forward<A>(a)...);
    }
    template <typename... A> int set(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.SetTableData(index_, table_, dataId_, std::forward<A>(a)...);
    }
    template <typename... A> int find(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.FindTableIndex(index_, table_, dataId_, std::forward<A>(a)...);
    }

  protected:
    jint index_;
    unsigned table_;
    unsigned dataId_;
};

// A numbered block of a table value.
class BlockKey : public TableKey {
  public:
    BlockKey(jint index, jint table, jint dataId, jint block)
        : TableKey(index, table, dataId), block_(block) {}

    template <typename... A> int get(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.GetTableData(index_, table_, dataId_, block_, std::forward<A>(a)...);
    }
    template <typename... A> int set(VKDM_KRNReaderModule_4J& m, A&&... a) const {
        return m.SetTableData(index_, table_, dataId_, block_, std::forward<A>(a)...);
    }

  private:
    jint block_;
};

} // namespace nubokrn4j

#endif
