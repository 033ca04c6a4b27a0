// One open T=CL connection to a card in the field of one reader: request
// blocks out, answer blocks in, through the serial or TCP port library
// directly or through the reader library's command 0xB2.
#ifndef VKTCL_TRANSPONDER_H
#define VKTCL_TRANSPONDER_H

#include "blocks.h"
#include "exchange.h"
#include "exchange_claim.h"

#include <vktcl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vktcl {

class VKManager;

class VKTransponder {
  public:
    VKTransponder(VKManager& manager, int transponderHandle, int readerHandle, unsigned char busAddress,
                  unsigned char cid, unsigned char nad, bool useCid, bool useNad);
    // Cancels a running worker at its next read and joins it (hands it to the
    // manager when run on that worker). The application's stop flag of the
    // reader library is left as it is.
    virtual ~VKTransponder();
    VKTransponder(const VKTransponder&) = delete;
    VKTransponder& operator=(const VKTransponder&) = delete;

    // Reads the reader's buffer sizes, port handle and time-out: 0 or the first
    // failure (-4200 for a receive size below 10, a port handle of 0 or no
    // time-out).
    int initVKTransponder();
    // One APDU (0 to 65,535 bytes): synchronous without `event`, else on a worker.
    // APDU, ping and deselect claim the transponder: -4209 while another holds it.
    int apdu(const unsigned char* data, int length, const _VKTCL_EVENT_INIT* event);
    int deselect();
    int ping();
    int getResponseData(unsigned char* buffer, int size);
    int getVKTransponderHnd() const { return handle_; }

  private:
    struct Event {
        unsigned int selector = 0;
        void* callback = nullptr;
        void* pAny = nullptr;
    };

    int getPortHandle(int& out);
    // Reads "Timeout": the base time-out of this exchange (0 after a failed
    // read, 6500 for a value outside 0 to 6500); the value read is kept for the
    // restore.
    int readTimeout();
    int setTimeout(std::uint8_t wtxm, std::uint8_t fwi);
    int restoreTimeout();
    bool advancedFrames();
    int buildProtocol(RequestKind kind, const unsigned char* data, int length);
    // The exchange of the request built, between reading the port's time-out
    // and setting it back; an answer block that cannot be allocated ends it with
    // -4203.
    int sendProtocol(RequestKind kind);
    int sendBlocks(RequestKind kind);
    int sendDirectBlock(Route route, int index);
    int sendLibraryBlock(int index);
    BlockExchange::Raise raiser();
    // The split of one answer frame (`format` of libvkkrn); a frame of another
    // command than 0xB2 gives -4035.
    AnswerFrame splitAnswer(const std::uint8_t* frame, int length, int format);
    int shortOrNothing(RequestKind kind);
    void runWorker(std::shared_ptr<std::atomic<bool>> done);
    void release(std::thread worker, std::shared_ptr<std::atomic<bool>> done);

    VKManager& manager_;
    std::atomic<bool> responseReady_{false};
    std::atomic<bool> cancel_{false};
    ExchangeClaim claim_;
    Event event_;
    const int handle_;
    const int readerHandle_;
    const unsigned char busAddress_;
    const unsigned char cid_;
    const unsigned char nad_;
    const bool useCid_;
    const bool useNad_;
    int transmitSize_ = 0;
    int receiveSize_ = 0;
    int portHandle_ = 0;
    int baseTimeout_ = 0; // compared with a waiting time
    int inForce_ = 0;     // the port time-out in force
    int restoreValue_ = 0;
    // Used by the exchange that holds the claim.
    std::vector<unsigned char> frame_;   // a request frame
    std::vector<unsigned char> receive_; // one read
    std::vector<unsigned char> data_;    // the data of one split answer
    VKProtocol protocol_;
    VKResponse response_;
    std::mutex workerMutex_; // guards worker_ and workerDone_; a leaf
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> workerDone_;
};

} // namespace vktcl

#endif
