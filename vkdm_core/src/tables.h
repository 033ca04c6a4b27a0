// The BRM and ISO tables of a reader: records addressed by index, values by
// data id. Every operation runs under the reader's data-memory mutex, which the
// caller passes in; records are never freed before the tables, so the pointers
// handed out stay valid for the reader's life.
#ifndef VKDM_TABLES_H
#define VKDM_TABLES_H

#include <vkdm/vkdm_core.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vkdm {

enum class Kind { Byte, Flag, U32, Bytes };

// A data id of a table: its form and size (tables.cpp).
struct Field;

// Roles a parser or accessor reaches without a public data id.
enum RoleId : std::uint32_t {
    kRoleFlags = 0xF0000001,
    kRoleAfi,
    kRoleDsfid,
    kRoleIddt,
    kRoleDirection,
    kRoleDirectionValid,
    kRoleXpcW1,
    kRoleAntNumbers,
    kRoleAntStatus,
    kRoleAntRssi,
    kRoleChallenge,
    kRoleCryptoBlock,
    kRoleTypeSpecific,
};

constexpr std::uint32_t kIdRxPub = 0x04000001;
constexpr std::uint32_t kIdTxPub = 0x04000002;
constexpr std::uint32_t kIdUid = 0x08000002;
constexpr std::uint32_t kIdUidLength = 0x08000003;
constexpr int kMinPubData = 8192;

struct Record {
    virtual ~Record() = default;
    std::mutex* lock = nullptr;
    bool filled = false;
    bool iso = false;
    // Current sizes of the table (copied when they change).
    int size[4] = {0, 0, 0, 0};
    // Sizes GetTableSizes reports instead (control interface), whatever they are.
    bool sizesReported = false;
    int reported[4] = {0, 0, 0, 0};
    std::map<std::uint32_t, std::vector<std::uint8_t>> values;

    std::vector<std::uint8_t>& at(std::uint32_t id) { return values.at(id); }
    void clear();
};

struct BrmRecord : VKDM_BRMTabItem, Record {};
struct IsoRecord : VKDM_ISOTabItem, Record {};

class Tables {
  public:
    explicit Tables(std::mutex& lock);

    // All of these lock the mutex themselves.
    int get(int index, unsigned table, std::uint32_t id, Kind kind, std::uint8_t* out, int count, int block);
    int set(int index, unsigned table, std::uint32_t id, Kind kind, const std::uint8_t* in, int count,
            int block);
    int getText(int index, unsigned table, std::uint32_t id, int block, std::string& text);
    int setText(int index, unsigned table, std::uint32_t id, int block, const std::string& text);
    int find(int start, unsigned table, std::uint32_t id, Kind kind, std::uint32_t number,
             const std::string* text);
    int verify(int index, unsigned table);
    int setSize(unsigned table, int capacity, const int* sizes);
    int capacity(unsigned table);
    int length(unsigned table);
    int setLength(unsigned table, unsigned length);
    int reset(unsigned table);
    VKDM_BRMTabItem* brm(unsigned index);
    VKDM_ISOTabItem* iso(unsigned index);
    // Control interface: bytes written straight into a value of an existing
    // record (a data id or a role), and the sizes a record reports.
    int poke(unsigned table, int index, std::uint32_t id, const std::uint8_t* bytes, int count);
    int reportSizes(unsigned table, int index, const int* sizes);

    // Parsers (layouts in the README): the number of records stored, or a code.
    int storeInventory(const std::uint8_t* data, int length, int status);
    int storeBrm(std::uint8_t command, const std::uint8_t* data, int length, std::uint8_t trData1,
                 std::uint8_t trData2, int count);

  private:
    struct Table {
        bool iso = false;
        int capacity = 256;
        int length = 0;
        int size[4] = {0, 0, 0, 0};
        std::vector<std::unique_ptr<Record>> records;
    };

    Table* table(unsigned id);
    // The table and the field of a data id, or a code.
    int locate(unsigned tableId, std::uint32_t id, Table*& t, const Field*& f);
    // The record at index for reading (index < length) or writing (< capacity).
    int recordFor(Table& t, int index, bool write, Record*& out);
    Record* makeRecord(Table& t);
    void applySizes(Table& t, Record& r);

    std::mutex& lock_;
    Table brm_;
    Table iso_;
};

} // namespace vkdm

#endif
