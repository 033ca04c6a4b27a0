#include <zrbsim/commands.h>

namespace zrbsim {

const std::vector<CommandDefinition>& instrumentCommands() {
    // Signatures: see checkSignature. Default replies carry distinct values, so
    // a test can tell which field went where.
    static const std::vector<CommandDefinition> commands = {
        {"Reset", "ToIdle", "", "0", {}},
        {"Trigger", "Loopback", "", "0", {}},
        {"Trigger", "Set", "iiid", "0", {}},
        {"Trigger", "HasTriggered", "i", "0,1", {}},
        {"Trigger", "ClearAllScheduled", "", "0", {}},
        {"Rf", "LaunchSpy", "qiii", "0", {}},
        {"Rf", "StopSpy", "", "0", {}},
        {"Rf", "FieldOn", "i", "0", {}},
        {"Rf", "FieldOff", "i", "0", {}},
        {"Rf", "CancelOutput", "", "0", {}},
        {"Rf", "SetTechnology", "i", "0", {}},
        {"Rf", "SetPowerLevel", "i", "0", {}},
        {"Rf", "SetIso15693Modes", "iiii", "0", {}},
        {"Rf", "SetRxTimeOut", "d", "0", {}},
        {"Rf", "SetRxIgnoreDurationNs", "d", "0", {}},
        {"Rf", "ScheduleRequest", "hii", "0,11,12,13", {}},
        {"Rf", "AppendScheduledRequest", "hii", "0,21,22,23", {}},
        {"Rf", "ScheduleEof", "i", "0", {}},
        {"Rf", "GetResponse", "ii", "0,A5,31,32,33,34,35", {}},
        {"Gpio", "CfgOpenDrain", "ib", "0", {}},
        {"Gpio", "UseAsExternalTrigger", "i", "0", {}},
        {"Gpio", "OutputTriggerSrc", "ii", "0", {}},
        {"Gpio", "ScheduleWaveformOutput", "iwii", "0", {}},
        {"Gpio", "WaveformOutputDone", "ii", "0,1", {}},
        {"Gpio", "ScheduleStaticOutput", "ibi", "0", {}},
        {"Gpio", "CancelOutput", "i", "0", {}},
        {"Gpio", "ScheduleCapture", "idi", "0", {}},
        {"Gpio", "GetCapture", "ii", "0,1;40;0;60", {}},
        {"Gpio", "GetValue", "i", "0,7", {}},
        {"Gpio", "ScheduleClockOutput", "idi", "0", {}},
        {"Gpio", "ScheduleBaseband", "ihii", "0", {}},
        {"Gpio", "DecodeModulationState", "wi", "0,C3,41", {}},
        {"Gpio", "EnableDecoderProbing", "q", "0", {}},
        {"Gpio", "DisableDecoderProbing", "", "0", {}},
        {"Gpio", "SetTechnology", "i", "0", {}},
        {"Gpio", "SetIso15693Modes", "iiii", "0", {}},
        {"Gpio", "CancelAllOutputs", "", "0", {}},
    };
    return commands;
}

void registerInstrumentCommands(Simulator& simulator) {
    for (const CommandDefinition& command : instrumentCommands())
        simulator.registerCommand(command);
}

} // namespace zrbsim
