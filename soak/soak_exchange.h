// One exchange of the soak: the transparent frame (0xB2 through
// VKKRN_SendTransparent) or one of the command exports, what the simulated
// reader answers it, and the check of the outputs the call leaves behind.
#ifndef VKSOAK_SOAK_EXCHANGE_H
#define VKSOAK_SOAK_EXCHANGE_H

#include <krnsim/reader.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vksoak {

enum class ExchangeKind : std::uint8_t {
    Transparent, // VKKRN_SendTransparent, 0xB2 echoing the data
    SoftVersion, // 0x65: a version block that changes with every request
    ReaderInfo,  // 0x66: a mode, answered with the mode and a running number
    Inventory,   // 0xB0: the tags in the field, a new set for every request
    TableData,   // 0x1E: data echoed after the five leading bytes
    Piggyback,   // 0x9F: data echoed after the three leading bytes
    ConfBlock,   // 0x80: a block of 0 to 17 bytes, read out as 14
};
inline constexpr std::size_t kExchangeKinds = 7;

std::string_view exchangeName(ExchangeKind kind);

// What one exchange sends and what the simulated reader answers, known before the call.
struct Expected {
    ExchangeKind kind = ExchangeKind::Transparent;
    std::uint8_t command = 0;
    krnsim::Bytes requestData; // the data of the plain request frame
    krnsim::Bytes replyData;   // the data of the reader's reply (status 0)
    int format = 0;            // 0 bytes, 1 hex text (the read-outs)
    std::uint8_t lead[5] = {}; // the leading bytes of 0x1E and 0x9F, the mode of 0x66, the address of 0x80
};

enum class Verdict : std::uint8_t {
    Own,       // the outputs hold this exchange's reply
    Untouched, // a failed call left the outputs as a failure must
    Foreign,   // the outputs hold values of another exchange
    Wrong,     // anything else
};

struct Outcome {
    int result = 0;
    Verdict verdict = Verdict::Wrong;
    std::string detail; // what was found, for a report
};

// The command mix of one simulated reader: handlers whose answers change with
// every request, so that a reply names the request it belongs to.
class ExchangeMix {
  public:
    // Installs the handlers on `sim`; the mix must outlive its use.
    explicit ExchangeMix(krnsim::Reader& sim);
    ExchangeMix(const ExchangeMix&) = delete;
    ExchangeMix& operator=(const ExchangeMix&) = delete;

    // Chooses the request of the next exchange of `kind` (`index`: the soak's
    // reader, `sequence`: the exchange) and sets the simulated reader up for it.
    Expected prepare(ExchangeKind kind, std::mt19937_64& random, int index, std::uint32_t sequence);
    // Runs the exchange through the export on libvkkrn reader `reader` and checks its outputs.
    Outcome run(int reader, const Expected& expected);
    // Takes the handlers' running numbers as they are after an exchange whose
    // request the reader may not have been able to read (out of step).
    void resync();

  private:
    // The running numbers of the requests the handlers answered, and of those sent.
    std::atomic<std::uint32_t> versionsAnswered_{0};
    std::atomic<std::uint32_t> infosAnswered_{0};
    std::atomic<std::uint32_t> blocksAnswered_{0};
    std::uint32_t versionsSent_ = 0;
    std::uint32_t infosSent_ = 0;
    std::uint32_t blocksSent_ = 0;
    krnsim::Reader& sim_;
    std::vector<std::uint8_t> out_;
};

// Up to the first 48 bytes as hex text, for reports.
std::string hexText(const std::uint8_t* bytes, std::size_t count);

// The data of the reader's answers, from the running number of the request.
krnsim::Bytes versionBlock(std::uint32_t number);
krnsim::Bytes readerInfo(std::uint8_t mode, std::uint32_t number);
krnsim::Bytes confBlock(std::uint8_t address, std::uint32_t number);

} // namespace vksoak

#endif
