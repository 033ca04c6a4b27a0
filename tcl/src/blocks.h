// T=CL blocks: the outgoing blocks of a request and the incoming blocks of a
// response, with the response's completeness rule and copy-out. Plain memory,
// no I/O, no lock.
#ifndef VKTCL_BLOCKS_H
#define VKTCL_BLOCKS_H

#include <cstdint>
#include <memory>
#include <vector>

namespace vktcl {

class VKProtocolBlock {
  public:
    VKProtocolBlock() = default;
    // pstat 0: an outgoing block of min(length + 2, maxLength) bytes: 0xBE, the
    // mode byte, then bytes of `source` from `offset`. Otherwise an incoming
    // block of the answer data `source` (`length` bytes): the payload after
    // PSTAT and the two id bytes, or (pstat 0x96) the first byte alone.
    VKProtocolBlock(int blockId, int status, int maxLength, int pstat, std::uint8_t mode,
                    const std::uint8_t* source, int offset, int length);
    VKProtocolBlock(const VKProtocolBlock& other);
    VKProtocolBlock& operator=(const VKProtocolBlock&) = delete;
    virtual ~VKProtocolBlock() = default;

    int getBlockID() const { return blockId_; }
    int getSTATUS() const { return status_; }
    int getPSTAT() const { return pstat_; }
    int getBlockLength() const { return length_; }
    const std::uint8_t* getBlock() const { return bytes_.get(); }
    std::uint8_t getBlockElement(int i) const { return bytes_[static_cast<std::size_t>(i)]; }

    bool operator<(const VKProtocolBlock& o) const { return blockId_ < o.blockId_; }
    bool operator>(const VKProtocolBlock& o) const { return blockId_ > o.blockId_; }
    bool operator==(const VKProtocolBlock& o) const { return blockId_ == o.blockId_; }

  private:
    void allocate(int length);

    int kind_ = 0;
    int status_ = 0;
    int pstat_ = 0;
    int blockId_ = 0;
    int length_ = 0;
    std::unique_ptr<std::uint8_t[]> bytes_;
};

// The blocks of one request, in sending order.
class VKProtocol {
  public:
    virtual ~VKProtocol() = default;
    // Takes the block; returns the new block count.
    int addProtocolBlock(std::unique_ptr<VKProtocolBlock> block);
    void clearProtocol();
    const VKProtocolBlock& getProtocolBlock(int index) const {
        return *blocks_[static_cast<std::size_t>(index)];
    }
    int getBlockCount() const { return count_; }
    int getTotalLength() const { return total_; }

  private:
    std::vector<std::unique_ptr<VKProtocolBlock>> blocks_;
    int count_ = 0;
    int total_ = 0;
};

// The answer blocks to one request block, in ascending block id.
class VKResponse {
  public:
    virtual ~VKResponse() = default;
    // Takes the block; returns whether the response is now complete. A block of
    // status 0x96 (the card's error byte) replaces every block held before it.
    bool addProtocolBlock(std::unique_ptr<VKProtocolBlock> block);
    bool checkComplete();
    // Drops every block that carries no response data.
    void filterResponse();
    void clearResponse();
    // Copies the payloads in block order, never more than the response length:
    // 0 when the response is complete and they add up to its length, else -4275.
    int getResponse(std::uint8_t* buffer) const;
    int getResponseLength() const { return length_ > kLengthCap ? kLengthCap : static_cast<int>(length_); }
    bool isComplete() const { return complete_; }
    bool lastSeen() const { return lastSeen_; }
    int blockCount() const { return static_cast<int>(blocks_.size()); }
    // The last block has come but blocks before it have not.
    bool missingBlocks() const { return lastSeen_ && !complete_ && received_ < expected_; }

  private:
    std::vector<std::unique_ptr<VKProtocolBlock>> blocks_;
    bool complete_ = false;
    bool lastSeen_ = false;
    bool duplicate_ = false;
    int expected_ = 0;
    int received_ = 0;
    // 64 bits: a reader that never ends a response cannot make it wrap.
    std::int64_t length_ = 0;
    static constexpr int kLengthCap = 0x7FFFFFFF;
};

} // namespace vktcl

#endif
