#include "kx20.h"

#include "board_rates.h"

namespace vemlasdknative {

kx20::kx20() : speed_14443(kBoardRates) {
    max_tx_buffer = kMaxTransmit;
    max_rx_buffer = kMaxReceive;
}

} // namespace vemlasdknative
