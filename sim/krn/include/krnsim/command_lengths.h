// Request-data lengths of the reader's command set.
#ifndef KRNSIM_COMMAND_LENGTHS_H
#define KRNSIM_COMMAND_LENGTHS_H

#include <krnsim/types.h>

#include <optional>

namespace krnsim {

bool isKnownCommand(std::uint8_t command);
// Whether `data` has a length the command accepts; nullopt for an unknown command.
std::optional<bool> lengthMatches(std::uint8_t command, ByteView data);

} // namespace krnsim

#endif
