// BRM and ISO table records as Java item objects, and ISO items written back:
// GetTableItem, GetTable, SetTableItem and SetTable. The fields are rows
// (table_item_rows) run by one reader and one writer.
#include "java_fields.h"
#include "jni_frame.h"
#include "table_item_rows.h"

#include <de_varek_VkdmKrnReader.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace nubokrn4j;

namespace {

constexpr jint kUnknownKind = -106;
constexpr jint kReadOnly = -118;
constexpr jint kNoRecord = -115;
constexpr jint kUnknownTable = -124;
constexpr jint kSizeZero = -126;
constexpr unsigned kBrm = 1;
constexpr unsigned kIso = 2;

constexpr char kGetItem[] = "VkdmKrnReader_GetTableItem";
constexpr char kGetTable[] = "VkdmKrnReader_GetTable";
constexpr char kSetItem[] = "VkdmKrnReader_SetTableItem";
constexpr char kSetTable[] = "VkdmKrnReader_SetTable";

// Raises `code` for a native whose result is an object.
std::nullptr_t failed(NativeFrame& frame, jint code, int line) {
    frame.fail(code, line);
    return nullptr;
}

// The item class of table 1 or 2; false after raising -124 for another table
// id, -121 when the JVM gives no class, or with its exception pending.
bool findItemClass(NativeFrame& frame, unsigned table, std::optional<JavaObject>& item) {
    if (table != kBrm && table != kIso) {
        frame.fail(kUnknownTable, __LINE__);
        return false;
    }
    item.emplace(frame.env(), table == kBrm ? "de/varek/VkdmBrmTableItem" : "de/varek/VkdmIsoTableItem");
    if (item->findClass()) return true;
    if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
    return false;
}

// ---- reading ---------------------------------------------------------------------

// The values a record holds without a data id, copied once per item.
struct RecordRoles {
    std::array<std::uint8_t, 6> bytes{}; // flags, AFI, DSFID, IDDT, direction, direction valid
    std::array<std::uint8_t, 2> xpcW1{};
    std::array<std::uint8_t, 32> antNumbers{}, antStatus{}, antRssi{}, cryptoBlock{};
    std::array<std::uint8_t, 10> challenge{};
    std::vector<std::uint8_t> typeSpecific = std::vector<std::uint8_t>(4);

    std::span<const std::uint8_t> of(Role role, std::size_t count) const {
        auto first = [count](const auto& a) {
            return std::span<const std::uint8_t>(a.data(), std::min(count, a.size()));
        };
        switch (role) {
        case Role::Flags:
        case Role::Afi:
        case Role::Dsfid:
        case Role::Iddt:
        case Role::Direction:
        case Role::DirectionValid:
            return std::span<const std::uint8_t>(&bytes[static_cast<std::size_t>(role)], 1);
        case Role::TypeSpecific0:
        case Role::TypeSpecific1:
        case Role::TypeSpecific2:
        case Role::TypeSpecific3:
            return std::span<const std::uint8_t>(
                &typeSpecific[static_cast<std::size_t>(role) - static_cast<std::size_t>(Role::TypeSpecific0)],
                1);
        case Role::XpcW1: return first(xpcW1);
        case Role::AntNumbers: return first(antNumbers);
        case Role::AntStatus: return first(antStatus);
        case Role::AntRssi: return first(antRssi);
        case Role::Challenge: return first(challenge);
        case Role::CryptoBlock: return first(cryptoBlock);
        }
        return {};
    }
    // The ATR: as many bytes as type-specific byte 2 says, from byte 3, never
    // past the area.
    std::span<const std::uint8_t> atr() const {
        const std::size_t count = std::min<std::size_t>(typeSpecific[2], typeSpecific.size() - 3);
        return std::span<const std::uint8_t>(typeSpecific).subspan(3, count);
    }
};

RecordRoles rolesOf(VKDM_BRMTabItem& r) {
    RecordRoles roles;
    roles.bytes = {0,           r.GetAFI(),       r.GetDSFID(),
                   r.GetIDDT(), r.GetDirection(), static_cast<std::uint8_t>(r.IsDirectionValid() ? 1 : 0)};
    r.GetXPC_W1(roles.xpcW1.data());
    r.GetAntennaNumbers(roles.antNumbers.data());
    r.GetAntennaRSSI(roles.antRssi.data());
    return roles;
}

RecordRoles rolesOf(VKDM_ISOTabItem& r) {
    RecordRoles roles;
    roles.bytes[0] = r.GetFlags();
    const int size = r.GetTypeSpecific(nullptr, 0);
    roles.typeSpecific.assign(static_cast<std::size_t>(std::max(size, 4)), 0);
    r.GetTypeSpecific(roles.typeSpecific.data(), static_cast<int>(roles.typeSpecific.size()));
    r.GetXPC_W1(roles.xpcW1.data());
    r.GetAntennaNumbers(roles.antNumbers.data());
    r.GetAntennaStatus(roles.antStatus.data());
    r.GetAntennaRSSI(roles.antRssi.data());
    r.GetChallenge(roles.challenge.data());
    r.GetCryptoBlock(roles.cryptoBlock.data());
    return roles;
}

// One item being filled: its record's values, what the rows read so far, and
// the failure that ends it (a raise of its own, or a Java exception pending).
class ItemReader {
  public:
    ItemReader(NativeFrame& frame, VKDM_KRNReaderModule_4J& module, jint index, unsigned table,
               const RecordBytes& sizes, const std::array<int, 4>& tableSizes, RecordRoles roles,
               const JavaObject& item)
        : frame_(frame), env_(frame.env()), module_(module), index_(index), table_(table), sizes_(sizes),
          tableSizes_(tableSizes), roles_(std::move(roles)), item_(item) {
        facts_.atrCount = roles_.typeSpecific[2];
    }

    // False when the item ends (raised or pending).
    bool fill(std::span<const ItemRow> rows) {
        for (const ItemRow& row : rows) {
            if (!rowApplies(row.when, facts_)) continue;
            if (!fillRow(row)) return false;
        }
        return true;
    }

  private:
    bool fillRow(const ItemRow& row) {
        jobject object = item_.object();
        jclass type = item_.type();
        switch (row.source) {
        case Source::Byte: {
            unsigned char value = 0;
            if (!core(module_.GetTableData(index_, table_, row.dataId, &value))) return false;
            if (row.dataId == kIdTransponderType) facts_.transponderType = value;
            return setByteField(env_, object, type, row.field, value);
        }
        case Source::Flag: {
            bool value = false;
            if (!core(module_.GetTableData(index_, table_, row.dataId, &value))) return false;
            if (row.dataId == kIdRssiFlag) facts_.rssi = value;
            return setBooleanField(env_, object, type, row.field, value);
        }
        case Source::Number: {
            unsigned int value = 0;
            if (!core(module_.GetTableData(index_, table_, row.dataId, &value))) return false;
            return setIntField(env_, object, type, row.field, static_cast<jint>(value));
        }
        case Source::Bytes: {
            std::vector<std::uint8_t> bytes;
            if (!readBytes(row.dataId, countOf(row), bytes)) return false;
            return setBytesField(env_, object, type, row.field, bytes);
        }
        case Source::Uid: return fillUid(row);
        case Source::BigEndian16: {
            std::vector<std::uint8_t> bytes;
            if (!readBytes(row.dataId, 2, bytes)) return false;
            return setIntField(env_, object, type, row.field,
                               bigEndian16(std::span<const std::uint8_t, 2>(bytes.data(), 2)));
        }
        case Source::RoleByte: {
            const std::uint8_t value = roles_.of(row.role, 1)[0];
            if (row.signature[0] == 'Z') return setBooleanField(env_, object, type, row.field, value != 0);
            return setByteField(env_, object, type, row.field, value);
        }
        case Source::RoleBytes:
            return setBytesField(env_, object, type, row.field,
                                 roles_.of(row.role, static_cast<std::size_t>(row.fixed)));
        case Source::Atr: return setBytesField(env_, object, type, row.field, roles_.atr());
        case Source::Time: return fillTime(row);
        case Source::Blocks: return fillBlocks(row);
        }
        return false;
    }

    // A core result below 0 is raised and ends the item.
    bool core(int r) {
        if (r >= 0) return true;
        frame_.fail(r, __LINE__);
        return false;
    }

    int countOf(const ItemRow& row) const {
        switch (row.count) {
        case Count::Fixed: return row.fixed;
        case Count::Rx: return sizes_.rx;
        case Count::Tx: return sizes_.tx;
        case Count::Size1: return tableSizes_[0];
        }
        return 0;
    }

    // The bytes form into a buffer of the call's own, of exactly `count` bytes.
    bool readBytes(std::uint32_t dataId, int count, std::vector<std::uint8_t>& bytes) {
        bytes.assign(static_cast<std::size_t>(count) + 1, 0);
        if (!core(module_.GetTableData(index_, table_, dataId, bytes.data(), count))) return false;
        bytes.resize(static_cast<std::size_t>(count));
        return true;
    }

    // The UID length first; none: the field keeps its value. A length past the
    // item's UID room is refused before anything is read.
    bool fillUid(const ItemRow& row) {
        unsigned int length = 0;
        if (!core(module_.GetTableData(index_, table_, kIdUidLength, &length))) return false;
        facts_.uidLength = length;
        if (!rowApplies(When::UidPresent, facts_)) return true;
        if (length > kMaxItemUid) return core(kSizeZero);
        std::vector<std::uint8_t> bytes;
        if (!readBytes(row.dataId, static_cast<int>(length), bytes)) return false;
        return setBytesField(env_, item_.object(), item_.type(), row.field, bytes);
    }

    bool fillTime(const ItemRow& row) {
        std::vector<std::uint8_t> time, date;
        if (!readBytes(0x01000001, 4, time) || !readBytes(0x01000005, 5, date)) return false;
        JavaObject value(env_, "de/varek/VkKrnReaderTime");
        if (!value.findClass() || !value.construct("()V")) return pendingOr(kNullArgument);
        const ReaderTime t = readerTime(std::span<const std::uint8_t, 4>(time.data(), 4),
                                        std::span<const std::uint8_t, 5>(date.data(), 5));
        const std::pair<const char*, int> fields[] = {
            {"hour", t.hour},   {"minute", t.minute}, {"mSecond", t.mSecond},  {"year", t.year},
            {"month", t.month}, {"day", t.day},       {"timezone", t.timezone}};
        for (const auto& [name, number] : fields) {
            if (!setIntField(env_, value.object(), value.type(), name, number)) return false;
        }
        return setObjectField(env_, item_.object(), item_.type(), row.field, row.signature, value.object());
    }

    // Four arrays of `fixed` bytes, element b the block bytes(b, fixed); the
    // outer array's element class is byte[].
    bool fillBlocks(const ItemRow& row) {
        jclass bytesClass = env_->FindClass("[B");
        if (bytesClass == nullptr || frame_.pending()) return pendingOr(kNullArgument);
        jobjectArray blocks = env_->NewObjectArray(4, bytesClass, nullptr);
        env_->DeleteLocalRef(bytesClass);
        if (blocks == nullptr || frame_.pending()) return pendingOr(kNullArgument);
        bool filled = true;
        for (jint b = 0; b < 4 && filled; ++b) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(row.fixed), 0);
            filled = core(module_.GetTableData(index_, table_, row.dataId, b, bytes.data(), row.fixed));
            if (!filled) break;
            jbyteArray block = newByteArray(env_, bytes);
            if (block == nullptr) {
                filled = false;
                break;
            }
            env_->SetObjectArrayElement(blocks, b, block);
            env_->DeleteLocalRef(block);
            filled = !frame_.pending();
        }
        if (filled)
            filled = setObjectField(env_, item_.object(), item_.type(), row.field, row.signature, blocks);
        env_->DeleteLocalRef(blocks);
        return filled;
    }

    // Ends the item: the JVM's exception stays, else `code` of our own.
    bool pendingOr(jint code) {
        if (!frame_.pending()) frame_.fail(code, __LINE__);
        return false;
    }

    NativeFrame& frame_;
    JNIEnv* env_;
    VKDM_KRNReaderModule_4J& module_;
    jint index_;
    unsigned table_;
    RecordBytes sizes_;
    std::array<int, 4> tableSizes_;
    RecordRoles roles_;
    const JavaObject& item_;
    ItemFacts facts_;
};

// The item of record `index` of table `table` (a local reference); null after
// a raise or with the JVM's exception pending.
jobject readItem(JNIEnv* env, jint handle, jint index, jint tableId) {
    NativeFrame frame(env, handle, kGetItem);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    const auto table = static_cast<unsigned>(tableId);
    std::optional<JavaObject> found;
    if (!findItemClass(frame, table, found)) return nullptr;
    JavaObject& item = *found;
    std::array<int, 4> sizes{};
    RecordRoles roles;
    std::span<const ItemRow> rows;
    const auto at = static_cast<unsigned>(index);
    if (table == kBrm) {
        VKDM_BRMTabItem* record = module->GetBRMTableItem(at);
        if (record == nullptr) return failed(frame, kNoRecord, __LINE__);
        record->GetTableSizes(&sizes[0], &sizes[1]);
        roles = rolesOf(*record);
        rows = brmItemRows();
    } else {
        VKDM_ISOTabItem* record = module->GetISOTableItem(at);
        if (record == nullptr) return failed(frame, kNoRecord, __LINE__);
        record->GetTableSizes(&sizes[0], &sizes[1], &sizes[2], &sizes[3]);
        roles = rolesOf(*record);
        rows = isoItemRows();
    }
    const auto bytes = recordBytes(std::span<const int>(sizes.data(), table == kBrm ? 2 : 4));
    if (!bytes) return failed(frame, kSizeZero, __LINE__);
    const bool made = table == kBrm
                          ? item.construct("(II)V", sizes[0], sizes[1])
                          : item.construct("(IIIII)V", index, sizes[0], sizes[1], sizes[2], sizes[3]);
    if (!made) {
        if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
        return nullptr;
    }
    ItemReader reader(frame, *module, index, table, *bytes, sizes, std::move(roles), item);
    if (!reader.fill(rows)) return nullptr;
    return item.release();
}

// ---- writing -------------------------------------------------------------------------

// The text an item's getIdentifier gives; nothing after a raise (-121 when the
// class, the text or its characters are missing) or with an exception pending.
std::optional<std::string> identifierOf(NativeFrame& frame, jobject item) {
    JNIEnv* env = frame.env();
    jclass type = env->GetObjectClass(item);
    if (type == nullptr || frame.pending()) {
        if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
        return std::nullopt;
    }
    jmethodID method = env->GetMethodID(type, "getIdentifier", "()Ljava/lang/String;");
    env->DeleteLocalRef(type);
    if (method == nullptr || frame.pending()) return std::nullopt;
    auto text = static_cast<jstring>(env->CallObjectMethod(item, method));
    if (frame.pending()) {
        if (text != nullptr) env->DeleteLocalRef(text);
        return std::nullopt;
    }
    std::optional<std::string> identifier;
    {
        UtfChars chars(env, text);
        if (const char* c = frame.chars(chars, __LINE__)) identifier = c;
    }
    if (text != nullptr) env->DeleteLocalRef(text);
    return identifier;
}

// "ISO" goes on; "BRM" (read-only) is -118, anything else -124. 0 to go on.
jint kindOf(const std::string& identifier) {
    if (identifier == "ISO") return 0;
    return identifier == "BRM" ? kReadOnly : kUnknownTable;
}

// Writes the fields of an ISO item into the ISO table at `index`, row by row.
class ItemWriter {
  public:
    ItemWriter(NativeFrame& frame, VKDM_KRNReaderModule_4J& module, jint index, jobject item)
        : frame_(frame), env_(frame.env()), module_(module), index_(index), item_(item) {}

    // 0, a raised code, or 0 with the JVM's exception pending.
    jint write(std::span<const WriteRow> rows) {
        jclass type = env_->GetObjectClass(item_);
        if (type == nullptr || frame_.pending()) return stop(kNullArgument);
        jint r = 0;
        for (const WriteRow& row : rows) {
            r = writeRow(type, row);
            if (r != 0 || frame_.pending()) break;
        }
        env_->DeleteLocalRef(type);
        return r;
    }

  private:
    jint writeRow(jclass type, const WriteRow& row) {
        switch (row.target) {
        case Target::Byte: {
            const auto value = byteField(env_, item_, type, row.field);
            if (!value) return 0;
            return core(module_.SetTableData(index_, kIso, row.dataId, static_cast<unsigned char>(*value)));
        }
        case Target::Number: {
            const auto value = intField(env_, item_, type, row.field);
            if (!value) return 0;
            return core(module_.SetTableData(index_, kIso, row.dataId, static_cast<unsigned int>(*value)));
        }
        case Target::Flag: {
            const auto value = booleanField(env_, item_, type, row.field);
            if (!value) return 0;
            return core(module_.SetTableData(index_, kIso, row.dataId, *value));
        }
        case Target::Bytes:
        case Target::Uid:
        case Target::Blocks: return writeArray(type, row);
        }
        return 0;
    }

    jint writeArray(jclass type, const WriteRow& row) {
        const auto value = objectField(env_, item_, type, row.field, row.signature);
        if (!value) return 0;
        if (*value == nullptr) return stop(kNullArgument); // the JVM cannot read a null array
        jint r = 0;
        if (row.target == Target::Blocks)
            r = writeBlocks(static_cast<jobjectArray>(*value), row);
        else
            r = writeBytes(static_cast<jbyteArray>(*value), row);
        env_->DeleteLocalRef(*value);
        return r;
    }

    jint writeBytes(jbyteArray array, const WriteRow& row) {
        jsize count = row.count;
        if (row.target == Target::Uid) {
            count = env_->GetArrayLength(array);
            if (frame_.pending()) return 0;
            if (count == 0) return stop(kSizeZero);
            if (const jint r =
                    core(module_.SetTableData(index_, kIso, kIdUidLength, static_cast<unsigned>(count)));
                r != 0)
                return r;
        }
        auto bytes = arrayBytes(env_, array, count);
        if (!bytes) return 0;
        bytes->push_back(0); // never a null buffer
        return core(module_.SetTableData(index_, kIso, row.dataId, bytes->data(), static_cast<int>(count)));
    }

    jint writeBlocks(jobjectArray blocks, const WriteRow& row) {
        for (jint b = 0; b < 4; ++b) {
            auto block = static_cast<jbyteArray>(env_->GetObjectArrayElement(blocks, b));
            if (frame_.pending()) return 0;
            if (block == nullptr) return stop(kNullArgument);
            auto bytes = arrayBytes(env_, block, row.count);
            env_->DeleteLocalRef(block);
            if (!bytes) return 0;
            if (const jint r =
                    core(module_.SetTableData(index_, kIso, row.dataId, b, bytes->data(), row.count));
                r != 0)
                return r;
        }
        return 0;
    }

    // A core result below 0 is raised and returned; 0 or more goes on.
    jint core(int r) { return r < 0 ? stop(r) : 0; }
    jint stop(jint code) {
        if (frame_.pending()) return 0;
        frame_.fail(code, __LINE__);
        return code;
    }

    NativeFrame& frame_;
    JNIEnv* env_;
    VKDM_KRNReaderModule_4J& module_;
    jint index_;
    jobject item_;
};

jint writeItem(JNIEnv* env, jint handle, jint index, jobject item) {
    NativeFrame frame(env, handle, kSetItem);
    if (item == nullptr) return frame.fail(kUnknownKind, __LINE__);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    const auto identifier = identifierOf(frame, item);
    if (!identifier) return frame.pending() ? 0 : kNullArgument;
    if (const jint kind = kindOf(*identifier); kind != 0) return frame.fail(kind, __LINE__);
    return ItemWriter(frame, *module, index, item).write(isoWriteRows());
}

} // namespace

JNIEXPORT jobject JNICALL Java_de_varek_VkdmKrnReader_GetTableItem(JNIEnv* env, jclass, jint h, jint index,
                                                                   jint table) {
    return readItem(env, h, index, table);
}

// Every element in a local frame of its own, so that a table of any length
// keeps a few local references only. A failing element's exception stays the
// one Java sees.
JNIEXPORT jobjectArray JNICALL Java_de_varek_VkdmKrnReader_GetTable(JNIEnv* env, jclass, jint h,
                                                                    jint tableId) {
    NativeFrame frame(env, h, kGetTable);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return nullptr;
    const auto table = static_cast<unsigned>(tableId);
    std::optional<JavaObject> itemClass;
    if (!findItemClass(frame, table, itemClass)) return nullptr;
    const int n = module->GetTableLength(table);
    if (n <= 0) return failed(frame, kNoRecord, __LINE__);
    jobjectArray items = env->NewObjectArray(n, itemClass->type(), nullptr);
    if (items == nullptr || frame.pending()) {
        if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
        return nullptr;
    }
    for (jint i = 0; i < n; ++i) {
        jobject item = nullptr;
        {
            LocalFrame local(env, 16);
            if (!local) break;
            item = local.pop(readItem(env, h, i, tableId));
        }
        if (item == nullptr) {
            if (!frame.pending()) frame.fail(kNullArgument, __LINE__);
            break;
        }
        env->SetObjectArrayElement(items, i, item);
        env->DeleteLocalRef(item);
        if (frame.pending()) break;
    }
    if (frame.pending()) {
        env->DeleteLocalRef(items);
        return nullptr;
    }
    return items;
}

JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTableItem(JNIEnv* env, jclass, jint h, jint index,
                                                                jobject item) {
    return writeItem(env, h, index, item);
}

// Element 0's identifier decides for the whole array; element i goes to index i.
// A failing element's own exception is the one Java sees.
JNIEXPORT jint JNICALL Java_de_varek_VkdmKrnReader_SetTable(JNIEnv* env, jclass, jint h, jobjectArray items) {
    NativeFrame frame(env, h, kSetTable);
    if (items == nullptr) return frame.fail(kUnknownKind, __LINE__);
    VKDM_KRNReaderModule_4J* module = frame.module(__LINE__);
    if (module == nullptr) return kNotRegistered;
    const jsize n = env->GetArrayLength(items);
    if (frame.pending()) return 0;
    if (n <= 0) return frame.fail(kNoRecord, __LINE__);
    jobject first = env->GetObjectArrayElement(items, 0);
    if (frame.pending()) return 0;
    if (first == nullptr) return frame.fail(kNullArgument, __LINE__);
    const auto identifier = identifierOf(frame, first);
    env->DeleteLocalRef(first);
    if (!identifier) return frame.pending() ? 0 : kNullArgument;
    if (const jint kind = kindOf(*identifier); kind != 0) return frame.fail(kind, __LINE__);
    for (jsize i = 0; i < n; ++i) {
        jobject item = env->GetObjectArrayElement(items, i);
        if (frame.pending()) return 0;
        if (item == nullptr) return frame.fail(kNullArgument, __LINE__);
        const jint r = writeItem(env, h, i, item);
        env->DeleteLocalRef(item);
        if (r < 0) return r;
        if (frame.pending()) return 0;
    }
    return 0;
}
