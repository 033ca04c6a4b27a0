// The byte-stream driver the command channel talks through: an abstract base
// with the stream, log and reset-hook operations, the latched error and the
// last status flag.
#ifndef BOARD_LINK_KESTO_COM_DRIVER_H
#define BOARD_LINK_KESTO_COM_DRIVER_H

#include <cstdint>

namespace board_link {

// Latched driver errors.
inline constexpr int kDriverOk = 0;
inline constexpr int kDriverNotOpen = -1;
inline constexpr int kDriverWriteFailed = -2;
inline constexpr int kDriverReadFailed = -3;

// One entry of the log ring: a log packet the board sent.
class KestoComLogDataSet {
  public:
    virtual ~KestoComLogDataSet() = default;

    std::uint8_t data[256] = {};
    std::uint8_t length = 0;
    std::uint8_t flag = 0xFF;
};

class KestoComDriver {
  public:
    virtual ~KestoComDriver() = default;

    virtual bool open(const char* path) = 0;
    virtual bool open() = 0;
    virtual bool close() = 0;
    virtual int flush() = 0;
    virtual int write(const std::uint8_t* data, int length) = 0;
    virtual int read(std::uint8_t* buffer, int length) = 0;
    virtual bool ping(bool sendFallback) = 0;
    virtual void clearLog() {}
    virtual int pollLog() { return 0; }
    virtual int logCount() { return 0; }
    virtual bool readLog(KestoComLogDataSet* entries, std::uint16_t& count) {
        (void)entries;
        count = 0;
        return false;
    }
    virtual void onErrorCleared() = 0;
    virtual void onStatusCleared() = 0;
    // Stream bytes received and not read yet.
    virtual int unreadBytes() const { return 0; }
    // Drops them, and the input reports already waiting.
    virtual void discardInput() {}

    // The latched error; a non-zero one is cleared (through onErrorCleared).
    int takeError();
    // The last non-zero status flag; cleared the same way (onStatusCleared).
    int takeStatus();

    bool isOpen() const { return isOpen_; }
    int error() const { return error_; }

  protected:
    bool isOpen_ = false;
    int error_ = kDriverOk;
    int status_ = 0;
};

} // namespace board_link

#endif
