#include "blocks.h"

#include "codes.h"

#include <algorithm>
#include <cstring>

namespace vktcl {

void VKProtocolBlock::allocate(int length) {
    length_ = length;
    bytes_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length > 0 ? length : 1));
}

VKProtocolBlock::VKProtocolBlock(int blockId, int status, int maxLength, int pstat, std::uint8_t mode,
                                 const std::uint8_t* source, int offset, int length)
    : kind_(pstat), status_(status), pstat_(pstat), blockId_(blockId) {
    if (pstat == 0) {
        // The mode and block bytes, as far as the block's length has room for them.
        allocate(std::min(length + 2, maxLength));
        if (length_ > 0) bytes_[0] = 0xBE;
        if (length_ > 1) bytes_[1] = mode;
        if (length_ > 2) std::memcpy(&bytes_[2], source + offset, static_cast<std::size_t>(length_ - 2));
        return;
    }
    if (pstat == kStatusIsoError) {
        allocate(1);
        bytes_[0] = source[0];
        return;
    }
    allocate(length > 3 ? length - 3 : 0);
    if (length_ > 0) std::memcpy(bytes_.get(), source + 3, static_cast<std::size_t>(length_));
}

VKProtocolBlock::VKProtocolBlock(const VKProtocolBlock& other)
    : kind_(other.kind_), status_(other.status_), pstat_(other.pstat_), blockId_(other.blockId_) {
    allocate(other.length_);
    if (length_ > 0) std::memcpy(bytes_.get(), other.bytes_.get(), static_cast<std::size_t>(length_));
}

int VKProtocol::addProtocolBlock(std::unique_ptr<VKProtocolBlock> block) {
    total_ += block->getBlockLength();
    blocks_.push_back(std::move(block));
    return ++count_;
}

void VKProtocol::clearProtocol() {
    blocks_.clear();
    count_ = 0;
    total_ = 0;
}

bool VKResponse::addProtocolBlock(std::unique_ptr<VKProtocolBlock> block) {
    if (block->getSTATUS() == kStatusIsoError) {
        // The card ended the exchange with an error: its one byte is the whole
        // response, whatever data came before it.
        blocks_.clear();
        blocks_.push_back(std::move(block));
        received_ = expected_ = 1;
        length_ = 1;
        duplicate_ = false;
        lastSeen_ = complete_ = true;
        return true;
    }
    const int id = block->getBlockID();
    duplicate_ = duplicate_ || std::any_of(blocks_.begin(), blocks_.end(),
                                           [id](const auto& held) { return held->getBlockID() == id; });
    const auto at = std::upper_bound(blocks_.begin(), blocks_.end(), id,
                                     [](int key, const auto& held) { return key < held->getBlockID(); });
    const int status = block->getSTATUS();
    const int pstat = block->getPSTAT();
    const int length = block->getBlockLength();
    blocks_.insert(at, std::move(block));
    ++received_;
    if (status == kStatusOk) {
        lastSeen_ = true;
        expected_ = id + 1;
    }
    if (pstat == kPstatData) length_ += length;
    if (lastSeen_ && checkComplete()) filterResponse();
    return complete_;
}

bool VKResponse::checkComplete() {
    complete_ = lastSeen_ && !duplicate_ && received_ == expected_;
    return complete_;
}

void VKResponse::filterResponse() {
    const auto end = std::remove_if(blocks_.begin(), blocks_.end(),
                                    [](const auto& held) { return held->getPSTAT() != kPstatData; });
    received_ -= static_cast<int>(blocks_.end() - end);
    blocks_.erase(end, blocks_.end());
}

void VKResponse::clearResponse() {
    blocks_.clear();
    complete_ = lastSeen_ = duplicate_ = false;
    expected_ = received_ = length_ = 0;
}

int VKResponse::getResponse(std::uint8_t* buffer) const {
    std::int64_t copied = 0;
    std::int64_t held = 0;
    for (const auto& block : blocks_) {
        const int n = block->getBlockLength();
        held += n;
        const std::int64_t take = std::min<std::int64_t>(n, length_ - copied);
        if (take > 0) {
            std::memcpy(buffer + copied, block->getBlock(), static_cast<std::size_t>(take));
            copied += take;
        }
    }
    return complete_ && held == length_ ? 0 : kErrIncomplete;
}

} // namespace vktcl
