#include "tables.h"

#include "codes.h"
#include "hex.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vkdm {

struct Field {
    std::uint32_t id;
    Kind kind;
    int size; // bytes; 0 for the public data, sized by the table
};

namespace {

// Data ids of a BRM record.
constexpr Field kBrmFields[] = {
    {0x08000001, Kind::Byte, 1},  {0x0800000A, Kind::Byte, 1},  {0x01000002, Kind::Byte, 1},
    {0x01000003, Kind::U32, 4},   {0x04000004, Kind::Byte, 1},  {0x01000004, Kind::Byte, 1},
    {0x01000006, Kind::Byte, 1},  {0x01000007, Kind::Byte, 1},  {0x80000003, Kind::Flag, 1},
    {0x80000004, Kind::Flag, 1},  {0x80000009, Kind::Flag, 1},  {0x8000000B, Kind::Flag, 1},
    {0x8000000A, Kind::Flag, 1},  {0x8000000C, Kind::Flag, 1},  {0x8000000E, Kind::Flag, 1},
    {0x8000000F, Kind::Flag, 1},  {0x80000010, Kind::Flag, 1},  {kIdUid, Kind::Bytes, 64},
    {kIdUidLength, Kind::U32, 4}, {kIdRxPub, Kind::Bytes, 0},   {0x01000001, Kind::Bytes, 4},
    {0x01000005, Kind::Bytes, 5}, {0x01000008, Kind::Bytes, 6}, {0x08000018, Kind::Bytes, 2},
    {0x04000008, Kind::Byte, 1},
};

// Data ids of an ISO record.
constexpr Field kIsoFields[] = {
    {0x08000001, Kind::Byte, 1},    {0x0800000A, Kind::Byte, 1},    {kIdUid, Kind::Bytes, 64},
    {kIdUidLength, Kind::U32, 4},   {0x08000018, Kind::Bytes, 2},   {0x0800000C, Kind::Byte, 1},
    {0x0800000F, Kind::Byte, 1},    {0x08000010, Kind::Byte, 1},    {0x08000017, Kind::Byte, 1},
    {0x08000011, Kind::Byte, 1},    {0x08000012, Kind::Byte, 1},    {0x08000013, Kind::Byte, 1},
    {0x08000014, Kind::Byte, 1},    {0x08000016, Kind::Byte, 1},    {0x08000015, Kind::Byte, 1},
    {0x0800000B, Kind::Byte, 1},    {0x0800000D, Kind::Bytes, 2},   {0x0800000E, Kind::Byte, 1},
    {0x04000004, Kind::Byte, 1},    {0x80000003, Kind::Flag, 1},    {0x80000004, Kind::Flag, 1},
    {0x80000005, Kind::Flag, 1},    {0x80000008, Kind::Flag, 1},    {0x8000000F, Kind::Flag, 1},
    {0x80000001, Kind::Flag, 1},    {0x80000002, Kind::Flag, 1},    {kIdRxPub, Kind::Bytes, 0},
    {0x04001001, Kind::Bytes, 256}, {0x04001003, Kind::Bytes, 256}, {0x04001005, Kind::Bytes, 256},
    {kIdTxPub, Kind::Bytes, 0},     {0x04001002, Kind::Bytes, 256}, {0x04001004, Kind::Bytes, 256},
    {0x04001006, Kind::Bytes, 256}, {0x04000003, Kind::Bytes, 256}, {0x02000001, Kind::Bytes, 16},
    {0x02000002, Kind::Bytes, 16},  {0x04000008, Kind::Byte, 1},
};

struct RoleField {
    std::uint32_t id;
    int size;
};

constexpr RoleField kBrmRoles[] = {{kRoleAfi, 1},         {kRoleDsfid, 1},          {kRoleIddt, 1},
                                   {kRoleDirection, 1},   {kRoleDirectionValid, 1}, {kRoleXpcW1, 2},
                                   {kRoleAntNumbers, 32}, {kRoleAntRssi, 32}};
constexpr RoleField kIsoRoles[] = {{kRoleFlags, 1},      {kRoleTypeSpecific, 258}, {kRoleXpcW1, 2},
                                   {kRoleAntNumbers, 8}, {kRoleAntStatus, 8},      {kRoleAntRssi, 8},
                                   {kRoleChallenge, 10}, {kRoleCryptoBlock, 32}};

const Field* findField(bool iso, std::uint32_t id) {
    if (iso) {
        for (const Field& f : kIsoFields)
            if (f.id == id) return &f;
    } else {
        for (const Field& f : kBrmFields)
            if (f.id == id) return &f;
    }
    return nullptr;
}

// The bytes of a field that count: the public data by the table's sizes, the
// UID by its length, the others whole.
int currentSize(const Record& r, const Field& f, const std::vector<std::uint8_t>& v) {
    if (f.id == kIdRxPub) return r.size[0] * r.size[1];
    if (f.id == kIdTxPub) return r.size[2] * r.size[3];
    if (f.id == 0x04000003 && r.iso) return r.size[0];
    if (f.id == kIdUid) {
        const auto& l = r.values.at(kIdUidLength);
        const std::uint32_t n =
            (std::uint32_t{l[0]} << 24) | (std::uint32_t{l[1]} << 16) | (std::uint32_t{l[2]} << 8) | l[3];
        return static_cast<int>(std::min<std::uint32_t>(n, static_cast<std::uint32_t>(v.size())));
    }
    return static_cast<int>(v.size());
}

std::uint32_t readNumber(const std::vector<std::uint8_t>& v) {
    std::uint32_t n = 0;
    for (std::uint8_t b : v)
        n = (n << 8) | b;
    return n;
}

void writeNumber(std::vector<std::uint8_t>& v, std::uint32_t n) {
    for (std::size_t i = 0; i < v.size(); ++i)
        v[v.size() - 1 - i] = i < 4 ? static_cast<std::uint8_t>(n >> (8 * i)) : 0;
}

bool sameTextBlind(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

void Record::clear() {
    filled = false;
    for (auto& [id, v] : values)
        std::fill(v.begin(), v.end(), 0);
}

Tables::Tables(std::mutex& lock) : lock_(lock) {
    iso_.iso = true;
    const int isoSizes[4] = {256, 32, 256, 32};
    const int brmSizes[4] = {256, 32, 0, 0};
    std::copy(isoSizes, isoSizes + 4, iso_.size);
    std::copy(brmSizes, brmSizes + 4, brm_.size);
}

Tables::Table* Tables::table(unsigned id) {
    if (id == VKDM_TABLE_BRM) return &brm_;
    if (id == VKDM_TABLE_ISO) return &iso_;
    return nullptr;
}

void Tables::applySizes(Table& t, Record& r) {
    std::copy(t.size, t.size + 4, r.size);
    const std::size_t rx = std::max(kMinPubData, t.size[0] * t.size[1]);
    r.at(kIdRxPub).resize(rx, 0);
    if (t.iso) {
        const std::size_t tx = std::max(kMinPubData, t.size[2] * t.size[3]);
        r.at(kIdTxPub).resize(tx, 0);
    }
}

Record* Tables::makeRecord(Table& t) {
    std::unique_ptr<Record> r;
    if (t.iso) {
        r = std::make_unique<IsoRecord>();
        for (const Field& f : kIsoFields)
            r->values[f.id].assign(static_cast<std::size_t>(f.size), 0);
        for (const RoleField& f : kIsoRoles)
            r->values[f.id].assign(static_cast<std::size_t>(f.size), 0);
    } else {
        r = std::make_unique<BrmRecord>();
        for (const Field& f : kBrmFields)
            r->values[f.id].assign(static_cast<std::size_t>(f.size), 0);
        for (const RoleField& f : kBrmRoles)
            r->values[f.id].assign(static_cast<std::size_t>(f.size), 0);
    }
    r->iso = t.iso;
    r->lock = &lock_;
    applySizes(t, *r);
    t.records.push_back(std::move(r));
    return t.records.back().get();
}

int Tables::locate(unsigned tableId, std::uint32_t id, Table*& t, const Field*& f) {
    t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    f = findField(t->iso, id);
    return f == nullptr ? kUnknownDataId : 0;
}

int Tables::recordFor(Table& t, int index, bool write, Record*& out) {
    if (index < 0 || index >= t.capacity) return kOutOfRange;
    if (!write && index >= t.length) return kNoRecord;
    while (static_cast<int>(t.records.size()) <= index)
        makeRecord(t);
    out = t.records[static_cast<std::size_t>(index)].get();
    if (write) t.length = std::max(t.length, index + 1);
    return 0;
}

int Tables::get(int index, unsigned tableId, std::uint32_t id, Kind kind, std::uint8_t* out, int count,
                int block) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = nullptr;
    const Field* f = nullptr;
    if (int rc = locate(tableId, id, t, f); rc < 0) return rc;
    Record* r = nullptr;
    if (int rc = recordFor(*t, index, false, r); rc < 0) return rc;
    auto& v = r->at(id);
    switch (kind) {
    case Kind::Flag: *out = readNumber(v) != 0 ? 1 : 0; return 0;
    case Kind::Byte: {
        const std::uint32_t n = readNumber(v);
        if (n > 0xFF) return kValueDoesNotFit;
        *out = static_cast<std::uint8_t>(n);
        return 0;
    }
    case Kind::U32: {
        if (f->kind == Kind::Bytes && v.size() > 4) return kValueDoesNotFit;
        const std::uint32_t n = readNumber(v);
        std::memcpy(out, &n, sizeof n);
        return 0;
    }
    case Kind::Bytes: break;
    }
    if (count < 0) return kBadLength;
    const int current = currentSize(*r, *f, v);
    if (block >= 0) {
        // Block b of `count` bytes must lie inside the current data.
        const long long start = static_cast<long long>(block) * count;
        if (start + count > current) return kOutOfRange;
        if (count > 0) std::memcpy(out, v.data() + start, static_cast<std::size_t>(count));
        return 0;
    }
    if (count > static_cast<int>(v.size())) return kBadLength;
    const int n = std::min(count, current);
    if (n > 0) std::memcpy(out, v.data(), static_cast<std::size_t>(n));
    if (count > n) std::memset(out + n, 0, static_cast<std::size_t>(count - n));
    return 0;
}

int Tables::set(int index, unsigned tableId, std::uint32_t id, Kind kind, const std::uint8_t* in, int count,
                int block) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = nullptr;
    const Field* f = nullptr;
    if (int rc = locate(tableId, id, t, f); rc < 0) return rc;
    if (index < 0 || index >= t->capacity) return kOutOfRange;
    // Check the value against the field before the record is touched.
    Record* r = nullptr;
    if (kind == Kind::Bytes) {
        if (count < 0) return kBadLength;
        // Sizes of a field are the same in every record of the table.
        const int room = f->size != 0 ? f->size
                                      : std::max(kMinPubData, f->id == kIdRxPub ? t->size[0] * t->size[1]
                                                                                : t->size[2] * t->size[3]);
        const long long start = block >= 0 ? static_cast<long long>(block) * count : 0;
        if (start + count > room) return block >= 0 ? kOutOfRange : kBadLength;
        recordFor(*t, index, true, r);
        auto& v = r->at(id);
        if (count > 0) std::memcpy(v.data() + start, in, static_cast<std::size_t>(count));
    } else {
        std::uint32_t n = 0;
        if (kind == Kind::U32)
            std::memcpy(&n, in, sizeof n);
        else
            n = kind == Kind::Flag ? (in[0] != 0 ? 1 : 0) : in[0];
        if (id == kIdUidLength && n > 64) return kValueDoesNotFit;
        recordFor(*t, index, true, r);
        writeNumber(r->at(id), n);
    }
    r->filled = true;
    return 0;
}

int Tables::getText(int index, unsigned tableId, std::uint32_t id, int block, std::string& text) {
    std::vector<std::uint8_t> bytes;
    int count = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        Table* t = nullptr;
        const Field* f = nullptr;
        if (int rc = locate(tableId, id, t, f); rc < 0) return rc;
        Record* r = nullptr;
        if (int rc = recordFor(*t, index, false, r); rc < 0) return rc;
        auto& v = r->at(id);
        if (f->kind != Kind::Bytes) {
            // Numbers as decimal text, bytes and flags as hex.
            text = f->kind == Kind::U32 ? std::to_string(readNumber(v)) : hexText(v.data(), v.size());
            return 0;
        }
        const int current = currentSize(*r, *f, v);
        if (block < 0) {
            text = hexText(v.data(), static_cast<std::size_t>(current));
            return 0;
        }
        // A block of the record's block size (0x04000004; 4 when unset).
        count = r->at(0x04000004)[0] != 0 ? r->at(0x04000004)[0] : 4;
        const long long start = static_cast<long long>(block) * count;
        if (start + count > current) return kOutOfRange;
        bytes.assign(v.begin() + start, v.begin() + start + count);
    }
    text = hexText(bytes.data(), static_cast<std::size_t>(count));
    return 0;
}

int Tables::setText(int index, unsigned tableId, std::uint32_t id, int block, const std::string& text) {
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard<std::mutex> guard(lock_);
        Table* t = nullptr;
        const Field* f = nullptr;
        if (int rc = locate(tableId, id, t, f); rc < 0) return rc;
        if (f->kind != Kind::Bytes) return kUnknownDataId;
    }
    if (int rc = hexBytes(text.data(), text.size(), bytes); rc < 0) return rc;
    const int rc = set(index, tableId, id, Kind::Bytes, bytes.data(), static_cast<int>(bytes.size()), block);
    if (rc < 0 || id != kIdUid || block >= 0) return rc;
    const std::uint32_t n = static_cast<std::uint32_t>(bytes.size());
    return set(index, tableId, kIdUidLength, Kind::U32, reinterpret_cast<const std::uint8_t*>(&n), 4, -1);
}

int Tables::find(int start, unsigned tableId, std::uint32_t id, Kind kind, std::uint32_t number,
                 const std::string* text) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = nullptr;
    const Field* f = nullptr;
    if (int rc = locate(tableId, id, t, f); rc < 0) return rc;
    if (start < 0) return kOutOfRange;
    for (int i = start; i < t->length && i < static_cast<int>(t->records.size()); ++i) {
        Record& r = *t->records[static_cast<std::size_t>(i)];
        const auto& v = r.at(id);
        if (kind == Kind::Bytes) {
            if (text->empty()) return i;
            const int n = f->kind == Kind::Bytes ? currentSize(r, *f, v) : static_cast<int>(v.size());
            if (sameTextBlind(hexText(v.data(), static_cast<std::size_t>(n)), *text)) return i;
            continue;
        }
        if (f->kind == Kind::Bytes && v.size() > 4) continue;
        std::uint32_t value = readNumber(v);
        if (kind == Kind::Flag) value = value != 0 ? 1 : 0;
        if (value == number) return i;
    }
    return kNoRecord;
}

int Tables::verify(int index, unsigned tableId) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    if (index < 0 || index >= t->capacity) return kOutOfRange;
    if (index >= static_cast<int>(t->records.size()) || index >= t->length) return kNeverFilled;
    return t->records[static_cast<std::size_t>(index)]->filled ? 0 : kNeverFilled;
}

int Tables::setSize(unsigned tableId, int capacity, const int* sizes) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    if (capacity < 1 || capacity > 65535) return kBadLength;
    if (sizes != nullptr) {
        const int used = t->iso ? 4 : 2;
        for (int i = 0; i < used; ++i) {
            if (sizes[i] < 1 || sizes[i] > 256) return kBadLength;
        }
        std::copy(sizes, sizes + used, t->size);
        for (auto& r : t->records)
            applySizes(*t, *r);
    }
    t->capacity = capacity;
    if (t->length > capacity) t->length = capacity;
    for (std::size_t i = static_cast<std::size_t>(capacity); i < t->records.size(); ++i)
        t->records[i]->clear();
    return 0;
}

int Tables::capacity(unsigned tableId) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    return t == nullptr ? kUnknownTable : t->capacity;
}

int Tables::length(unsigned tableId) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    return t == nullptr ? kUnknownTable : t->length;
}

int Tables::setLength(unsigned tableId, unsigned length) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    if (length > static_cast<unsigned>(t->capacity)) return kOutOfRange;
    for (std::size_t i = length; i < t->records.size(); ++i)
        t->records[i]->clear();
    while (t->records.size() < length)
        makeRecord(*t);
    t->length = static_cast<int>(length);
    return 0;
}

int Tables::reset(unsigned tableId) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    for (auto& r : t->records)
        r->clear();
    t->length = 0;
    return 0;
}

VKDM_BRMTabItem* Tables::brm(unsigned index) {
    std::lock_guard<std::mutex> guard(lock_);
    if (index >= static_cast<unsigned>(brm_.length) || index >= brm_.records.size()) return nullptr;
    return static_cast<BrmRecord*>(brm_.records[index].get());
}

VKDM_ISOTabItem* Tables::iso(unsigned index) {
    std::lock_guard<std::mutex> guard(lock_);
    if (index >= static_cast<unsigned>(iso_.length) || index >= iso_.records.size()) return nullptr;
    return static_cast<IsoRecord*>(iso_.records[index].get());
}

int Tables::poke(unsigned tableId, int index, std::uint32_t id, const std::uint8_t* bytes, int count) {
    if (bytes == nullptr && count > 0) return kNullArgument;
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    if (index < 0 || index >= t->length || index >= static_cast<int>(t->records.size())) return kOutOfRange;
    Record& r = *t->records[static_cast<std::size_t>(index)];
    auto it = r.values.find(id);
    if (it == r.values.end()) return kUnknownType;
    if (count < 0 || count > static_cast<int>(it->second.size())) return kBadLength;
    if (count > 0) std::memcpy(it->second.data(), bytes, static_cast<std::size_t>(count));
    return 0;
}

int Tables::reportSizes(unsigned tableId, int index, const int* sizes) {
    std::lock_guard<std::mutex> guard(lock_);
    Table* t = table(tableId);
    if (t == nullptr) return kUnknownTable;
    if (index < 0 || index >= t->length || index >= static_cast<int>(t->records.size())) return kOutOfRange;
    Record& r = *t->records[static_cast<std::size_t>(index)];
    r.sizesReported = sizes != nullptr;
    if (sizes != nullptr) std::copy(sizes, sizes + 4, r.reported);
    return 0;
}

// Inventory reply of 0xB0 mode 0x01: [n][n x (type, 8-byte UID)]. Status 0x94
// (more data) appends to the table, any other status replaces it.
int Tables::storeInventory(const std::uint8_t* data, int length, int status) {
    if (data == nullptr && length > 0) return kNullArgument;
    if (length < 0) return kBadLength;
    std::lock_guard<std::mutex> guard(lock_);
    Table& t = iso_;
    if (status != 0x94) {
        for (auto& r : t.records)
            r->clear();
        t.length = 0;
    }
    if (length == 0) return 0;
    const int n = data[0];
    int stored = 0;
    for (int k = 0; k < n; ++k) {
        const int at = 1 + k * 9;
        if (at + 9 > length) return kBadRecord;
        if (t.length >= t.capacity) return kTableFull;
        Record* r = nullptr;
        recordFor(t, t.length, true, r);
        r->clear();
        r->at(0x08000001)[0] = data[at];
        std::memcpy(r->at(kIdUid).data(), data + at + 1, 8);
        writeNumber(r->at(kIdUidLength), 8);
        r->at(0x80000003)[0] = 1;
        r->filled = true;
        ++stored;
    }
    return stored;
}

// Notification records, as the TR-DATA bytes announce their parts (README).
int Tables::storeBrm(std::uint8_t command, const std::uint8_t* data, int length, std::uint8_t trData1,
                     std::uint8_t trData2, int count) {
    if (command != 0x22 && command != 0x74) return kNotSupported;
    if (data == nullptr && length > 0) return kNullArgument;
    if (length < 0 || count < 0) return kBadLength;
    std::lock_guard<std::mutex> guard(lock_);
    Table& t = brm_;
    for (auto& r : t.records)
        r->clear();
    t.length = 0;
    const bool second = (trData1 & 0x80) != 0;
    int pos = 0;
    auto take = [&](int n) -> const std::uint8_t* {
        if (n < 0 || pos + n > length) return nullptr;
        const std::uint8_t* p = data + pos;
        pos += n;
        return p;
    };
    for (int k = 0; k < count; ++k) {
        if (t.length >= t.capacity) return kTableFull;
        // Every part is checked before the record is stored: whole records only.
        const std::uint8_t* p = nullptr;
        int uidLength = 0;
        const std::uint8_t* uid = nullptr;
        std::uint8_t type = 0;
        if (trData1 & 0x01) {
            if ((p = take(2)) == nullptr) return kBadRecord;
            type = p[0];
            uidLength = p[1];
            if (uidLength > 64 || (uid = take(uidLength)) == nullptr) return kBadRecord;
        }
        const std::uint8_t* blocks = nullptr;
        int blockCount = 0, blockSize = 0;
        if (trData1 & 0x02) {
            if ((p = take(3)) == nullptr) return kBadRecord;
            blockCount = p[0] * 256 + p[1];
            blockSize = p[2];
            if (blockCount * blockSize > t.size[0] * t.size[1]) return kBadRecord;
            if ((blocks = take(blockCount * blockSize)) == nullptr) return kBadRecord;
        }
        // A part the TR-DATA bits announce must be there whole.
        auto part = [&](bool present, int n, const std::uint8_t*& out) {
            out = present ? take(n) : nullptr;
            return !present || out != nullptr;
        };
        const std::uint8_t *antenna = nullptr, *time = nullptr, *date = nullptr, *input = nullptr,
                           *mac = nullptr, *direction = nullptr;
        if (!part(trData1 & 0x10, 1, antenna) || !part(trData1 & 0x20, 4, time) ||
            !part(trData1 & 0x40, 5, date) || !part(second && (trData2 & 0x01), 2, input) ||
            !part(second && (trData2 & 0x02), 6, mac) || !part(second && (trData2 & 0x04), 1, direction))
            return kBadRecord;
        const std::uint8_t* rssi = nullptr;
        int rssiCount = 0;
        if (second && (trData2 & 0x10)) {
            if ((p = take(1)) == nullptr) return kBadRecord;
            rssiCount = p[0];
            if (rssiCount > 32 || (rssi = take(rssiCount * 2)) == nullptr) return kBadRecord;
        }
        Record* r = nullptr;
        recordFor(t, t.length, true, r);
        r->clear();
        if (uid != nullptr) {
            r->at(0x08000001)[0] = type;
            if (uidLength > 0) std::memcpy(r->at(kIdUid).data(), uid, static_cast<std::size_t>(uidLength));
            writeNumber(r->at(kIdUidLength), static_cast<std::uint32_t>(uidLength));
            r->at(0x80000003)[0] = uidLength > 0 ? 1 : 0;
        }
        if (blocks != nullptr) {
            writeNumber(r->at(0x01000003), static_cast<std::uint32_t>(blockCount));
            r->at(0x04000004)[0] = static_cast<std::uint8_t>(blockSize);
            if (blockCount * blockSize > 0)
                std::memcpy(r->at(kIdRxPub).data(), blocks, static_cast<std::size_t>(blockCount * blockSize));
            r->at(0x80000009)[0] = 1;
        }
        auto put = [&](const std::uint8_t* bytes, std::uint32_t id, int n, std::uint32_t flag) {
            if (bytes == nullptr) return;
            std::memcpy(r->at(id).data(), bytes, static_cast<std::size_t>(n));
            r->at(flag)[0] = 1;
        };
        put(antenna, 0x01000004, 1, 0x8000000B);
        put(time, 0x01000001, 4, 0x8000000A);
        put(date, 0x01000005, 5, 0x8000000C);
        put(input, 0x01000006, 1, 0x8000000E);
        if (input != nullptr) r->at(0x01000007)[0] = input[1];
        put(mac, 0x01000008, 6, 0x80000010);
        put(direction, kRoleDirection, 1, kRoleDirectionValid);
        if (rssi != nullptr) {
            r->at(0x04000008)[0] = static_cast<std::uint8_t>(rssiCount);
            for (int a = 0; a < rssiCount; ++a) {
                r->at(kRoleAntNumbers)[static_cast<std::size_t>(a)] = rssi[2 * a];
                r->at(kRoleAntRssi)[static_cast<std::size_t>(a)] = rssi[2 * a + 1];
            }
            r->at(0x8000000F)[0] = 1;
        }
        r->filled = true;
    }
    return t.length;
}

} // namespace vkdm

// ---- Record accessors -----------------------------------------------------

namespace {

vkdm::Record& rec(VKDM_BRMTabItem* item) {
    return *static_cast<vkdm::BrmRecord*>(item);
}
vkdm::Record& rec(VKDM_ISOTabItem* item) {
    return *static_cast<vkdm::IsoRecord*>(item);
}

unsigned char byteOf(vkdm::Record& r, std::uint32_t id) {
    std::lock_guard<std::mutex> guard(*r.lock);
    return r.at(id)[0];
}

void copyOf(vkdm::Record& r, std::uint32_t id, unsigned char* out) {
    if (out == nullptr) return;
    std::lock_guard<std::mutex> guard(*r.lock);
    const auto& v = r.at(id);
    std::memcpy(out, v.data(), v.size());
}

} // namespace

void VKDM_BRMTabItem::GetTableSizes(int* size1, int* size2) {
    vkdm::Record& r = rec(this);
    std::lock_guard<std::mutex> guard(*r.lock);
    const int* sizes = r.sizesReported ? r.reported : r.size;
    if (size1 != nullptr) *size1 = sizes[0];
    if (size2 != nullptr) *size2 = sizes[1];
}
unsigned char VKDM_BRMTabItem::GetAFI() {
    return byteOf(rec(this), vkdm::kRoleAfi);
}
unsigned char VKDM_BRMTabItem::GetDSFID() {
    return byteOf(rec(this), vkdm::kRoleDsfid);
}
unsigned char VKDM_BRMTabItem::GetIDDT() {
    return byteOf(rec(this), vkdm::kRoleIddt);
}
unsigned char VKDM_BRMTabItem::GetDirection() {
    return byteOf(rec(this), vkdm::kRoleDirection);
}
bool VKDM_BRMTabItem::IsDirectionValid() {
    return byteOf(rec(this), vkdm::kRoleDirectionValid) != 0;
}
void VKDM_BRMTabItem::GetXPC_W1(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleXpcW1, out);
}
void VKDM_BRMTabItem::GetAntennaNumbers(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleAntNumbers, out);
}
void VKDM_BRMTabItem::GetAntennaRSSI(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleAntRssi, out);
}

void VKDM_ISOTabItem::GetTableSizes(int* size1, int* size2, int* size3, int* size4) {
    vkdm::Record& r = rec(this);
    std::lock_guard<std::mutex> guard(*r.lock);
    int* out[4] = {size1, size2, size3, size4};
    const int* sizes = r.sizesReported ? r.reported : r.size;
    for (int i = 0; i < 4; ++i) {
        if (out[i] != nullptr) *out[i] = sizes[i];
    }
}
unsigned char VKDM_ISOTabItem::GetFlags() {
    return byteOf(rec(this), vkdm::kRoleFlags);
}
int VKDM_ISOTabItem::GetTypeSpecific(unsigned char* out, int size) {
    vkdm::Record& r = rec(this);
    std::lock_guard<std::mutex> guard(*r.lock);
    const auto& v = r.at(vkdm::kRoleTypeSpecific);
    if (out != nullptr && size > 0) std::memcpy(out, v.data(), std::min<std::size_t>(v.size(), size));
    return static_cast<int>(v.size());
}
void VKDM_ISOTabItem::GetXPC_W1(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleXpcW1, out);
}
void VKDM_ISOTabItem::GetAntennaNumbers(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleAntNumbers, out);
}
void VKDM_ISOTabItem::GetAntennaStatus(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleAntStatus, out);
}
void VKDM_ISOTabItem::GetAntennaRSSI(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleAntRssi, out);
}
void VKDM_ISOTabItem::GetChallenge(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleChallenge, out);
}
void VKDM_ISOTabItem::GetCryptoBlock(unsigned char* out) {
    copyOf(rec(this), vkdm::kRoleCryptoBlock, out);
}
void VKDM_ISOTabItem::SetSelected(bool selected) {
    vkdm::Record& r = rec(this);
    std::lock_guard<std::mutex> guard(*r.lock);
    r.at(0x80000002)[0] = selected ? 1 : 0;
}
int VKDM_ISOTabItem::GetRxDataSize() {
    vkdm::Record& r = rec(this);
    std::lock_guard<std::mutex> guard(*r.lock);
    return r.size[0] * r.size[1];
}
int VKDM_ISOTabItem::GetTxDataSize() {
    vkdm::Record& r = rec(this);
    std::lock_guard<std::mutex> guard(*r.lock);
    return r.size[2] * r.size[3];
}
int VKDM_ISOTabItem::ReadRxData(int address, unsigned char* out, int count) {
    vkdm::Record& r = rec(this);
    if (out == nullptr && count > 0) return vkdm::kNullArgument;
    std::lock_guard<std::mutex> guard(*r.lock);
    const long long size = static_cast<long long>(r.size[0]) * r.size[1];
    if (address < 0 || count < 0 || static_cast<long long>(address) + count > size) return vkdm::kOutOfRange;
    if (count > 0) std::memcpy(out, r.at(vkdm::kIdRxPub).data() + address, static_cast<std::size_t>(count));
    return 0;
}
int VKDM_ISOTabItem::WriteTxData(int address, const unsigned char* in, int count) {
    vkdm::Record& r = rec(this);
    if (in == nullptr && count > 0) return vkdm::kNullArgument;
    std::lock_guard<std::mutex> guard(*r.lock);
    const long long size = static_cast<long long>(r.size[2]) * r.size[3];
    if (address < 0 || count < 0 || static_cast<long long>(address) + count > size) return vkdm::kOutOfRange;
    if (count > 0) std::memcpy(r.at(vkdm::kIdTxPub).data() + address, in, static_cast<std::size_t>(count));
    return 0;
}
