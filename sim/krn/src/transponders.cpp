#include <krnsim/transponders.h>

#include <algorithm>
#include <stdexcept>

namespace krnsim {

namespace {

constexpr std::uint8_t kInventory = 0x01;
constexpr std::uint8_t kRead = 0x23;
constexpr std::uint8_t kWrite = 0x24;

// Addressed means the two low flag bits are 01.
bool addressed(std::uint8_t flags) {
    return (flags & 0x03) == 0x01;
}

Answer status(std::uint8_t value) {
    return Answer{value, {}};
}

} // namespace

void TransponderTable::add(Tag tag) {
    if (tag.blockSize < 1 || tag.blockSize > 32) throw std::invalid_argument("block size must be 1 to 32");
    if (tag.blockCount < 1 || tag.blockCount > 256)
        throw std::invalid_argument("block count must be 1 to 256");
    const std::size_t total = std::size_t{tag.blockSize} * tag.blockCount;
    if (tag.blocks.empty()) tag.blocks.assign(total, 0);
    if (tag.blocks.size() != total)
        throw std::invalid_argument("blocks must hold block size x block count bytes");
    if (find(tag.uid)) throw std::invalid_argument("a tag with this UID is already in the table");
    tags_.push_back(std::move(tag));
}

void TransponderTable::remove(const Uid& uid) {
    const auto it = std::find_if(tags_.begin(), tags_.end(), [&](const Tag& tag) { return tag.uid == uid; });
    if (it == tags_.end()) throw std::invalid_argument("no tag with this UID");
    tags_.erase(it);
}

void TransponderTable::setInField(const Uid& uid, bool inField) {
    at(uid).inField = inField;
}

const Tag* TransponderTable::find(const Uid& uid) const {
    for (const Tag& tag : tags_)
        if (tag.uid == uid) return &tag;
    return nullptr;
}

Tag& TransponderTable::at(const Uid& uid) {
    for (Tag& tag : tags_)
        if (tag.uid == uid) return tag;
    throw std::invalid_argument("no tag with this UID");
}

Answer TransponderTable::isoCommand(ByteView request) {
    if (request.empty()) return status(iso_status::kLength);
    switch (request[0]) {
    case kInventory: return inventory(request);
    case kRead: return read(request);
    case kWrite: return write(request);
    default: return status(iso_status::kUnknownMode);
    }
}

// [01][flags], then any further bytes (the asynchronous inventory's time byte) ignored.
Answer TransponderTable::inventory(ByteView request) const {
    if (request.size() < 2) return status(iso_status::kLength);
    Answer answer{0, {0}};
    for (const Tag& tag : tags_) {
        if (!tag.inField) continue;
        ++answer.data[0];
        answer.data.push_back(tag.type);
        answer.data.insert(answer.data.end(), tag.uid.begin(), tag.uid.end());
    }
    if (answer.data[0] == 0) return status(iso_status::kNoTag);
    return answer;
}

// Picks the tag a request acts on; `at` moves past the UID when there is one.
Tag* TransponderTable::select(std::uint8_t flags, ByteView request, std::size_t& at) {
    if (addressed(flags)) {
        Uid uid;
        std::copy_n(request.begin() + static_cast<std::ptrdiff_t>(at), uid.size(), uid.begin());
        at += uid.size();
        for (Tag& tag : tags_)
            if (tag.inField && tag.uid == uid) return &tag;
        return nullptr;
    }
    for (Tag& tag : tags_)
        if (tag.inField) return &tag;
    return nullptr;
}

// [23][flags][UID if addressed][first][count] -> [count][size][count x size bytes]
Answer TransponderTable::read(ByteView request) {
    if (request.size() < 2) return status(iso_status::kLength);
    const std::uint8_t flags = request[1];
    if (request.size() < 4 + (addressed(flags) ? sizeof(Uid) : 0)) return status(iso_status::kLength);
    std::size_t at = 2;
    const Tag* tag = select(flags, request, at);
    if (!tag) return status(iso_status::kNoTag);
    const std::size_t first = request[at];
    const std::size_t count = request[at + 1];
    if (first + count > tag->blockCount) return status(iso_status::kOutOfRange);
    Answer answer{0, {static_cast<std::uint8_t>(count), tag->blockSize}};
    const auto begin = tag->blocks.begin() + static_cast<std::ptrdiff_t>(first * tag->blockSize);
    answer.data.insert(answer.data.end(), begin, begin + static_cast<std::ptrdiff_t>(count * tag->blockSize));
    return answer;
}

// [24][flags][UID if addressed][first][count][size][count x size bytes]
Answer TransponderTable::write(ByteView request) {
    if (request.size() < 2) return status(iso_status::kLength);
    const std::uint8_t flags = request[1];
    const std::size_t header = 5 + (addressed(flags) ? sizeof(Uid) : 0);
    if (request.size() < header) return status(iso_status::kLength);
    const std::size_t first = request[header - 3];
    const std::size_t count = request[header - 2];
    const std::size_t size = request[header - 1];
    if (request.size() - header != count * size) return status(iso_status::kLength);
    std::size_t at = 2;
    Tag* tag = select(flags, request, at);
    if (!tag) return status(iso_status::kNoTag);
    if (size != tag->blockSize) return status(iso_status::kSizeMismatch);
    if (first + count > tag->blockCount) return status(iso_status::kOutOfRange);
    if (tag->readOnly) return status(iso_status::kReadOnly);
    std::copy(request.begin() + static_cast<std::ptrdiff_t>(header), request.end(),
              tag->blocks.begin() + static_cast<std::ptrdiff_t>(first * size));
    return Answer{};
}

} // namespace krnsim
