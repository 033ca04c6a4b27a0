// The instrument's command set as the simulator knows it: every command with
// its argument signature and a default reply (code 0 and every value field, with
// fixed values). Written from the instrument's side; the library keeps its own.
#ifndef ZRBSIM_COMMANDS_H
#define ZRBSIM_COMMANDS_H

#include <zrbsim/simulator.h>

#include <vector>

namespace zrbsim {

// The 37 commands, in the order of their groups (Reset, Trigger, Rf, Gpio).
const std::vector<CommandDefinition>& instrumentCommands();

// Registers every command of instrumentCommands() with the simulator.
void registerInstrumentCommands(Simulator& simulator);

} // namespace zrbsim

#endif
