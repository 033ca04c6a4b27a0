// The board's bit-rate code for each rate byte of the reader mode array, shared
// by both board readers.
#ifndef KESTOREADER_BOARD_RATES_H
#define KESTOREADER_BOARD_RATES_H

namespace vemlasdknative {

inline constexpr int kBoardRates[7] = {0, 1, 2, 3, 4, 5, 6};

} // namespace vemlasdknative

#endif
