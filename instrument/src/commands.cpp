// The instrument command set: one exported function per command, each a single
// row run through the session's exchange. A row names the required pointers,
// builds the request line and lists the reply's value fields; the helpers below
// hold what the rows share (the export guard, flag results, waveform texts).
#include "element_text.h"
#include "reply_parser.h"
#include "request_line.h"
#include "result_code.h"
#include "session.h"
#include "waveform_internal.h"

#include <Zorbel.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace zrb {

namespace {

// Thrown by a row's request builder when a waveform's element text cannot be
// made: the exchange then ends before anything is sent.
struct NoElementText {};

// Runs one command. No exception leaves: a waveform without element text gives
// 14 (ZRB_Errno untouched); any other failure inside (only an allocation can
// fail) counts as no usable reply. `build` becomes a std::function in here, so
// that even that allocation is caught.
template <class Build>
int run(std::initializer_list<const void*> required, const Build& build,
        std::initializer_list<ReplyField> fields = {}) noexcept {
    try {
        return session().exchange(required, build,
                                  std::span<const ReplyField>(fields.begin(), fields.size()));
    } catch (const NoElementText&) {
        return kWaveformException;
    } catch (...) {
        ZRB_Errno = kNoReply;
        return kNoReply;
    }
}

// Runs a command whose reply carries one flag, returned as the command's byte.
// A flag that was read is returned as read, beside any code; without one the
// result code is returned as a byte (8, 10 or 11), so that a caller polling for
// the flag stops on a dead connection and finds the cause in ZRB_Errno.
template <class Build> std::uint8_t runFlag(const Build& build) noexcept {
    std::uint8_t flag = 0;
    bool read = false;
    const ReplyField field = ReplyField::custom([&](std::string_view text) {
        ReplyField::flagResult(&flag).read(text);
        read = true;
        return ReplyField::Read::kStored;
    });
    const int code = run({}, build, {field});
    return read ? flag : static_cast<std::uint8_t>(code);
}

// The element text of a required waveform (checked non-NULL by the exchange).
std::string elementText(const Waveform* waveform) {
    try {
        return writeElementText(*waveform);
    } catch (...) {
        throw NoElementText{};
    }
}

// A caller's buffer size as the bound of a hex field: a negative size stores
// nothing, so no hex byte of the reply can land outside the buffer.
unsigned storable(int size) {
    return static_cast<unsigned>(std::max(size, 0));
}

// values + index, or NULL when the caller gave no array.
int* slot(int* values, int index) {
    return values != nullptr ? values + index : nullptr;
}

// The three integers of the two schedule-request commands.
int scheduleRequest(const char* name, const std::uint8_t* data, unsigned bits, int value, int* values) {
    return run({data}, [&] { return RequestLine("Rf", name).hexBits(data, bits).integer(value); },
               {ReplyField::checkedInt(slot(values, 0)), ReplyField::checkedInt(slot(values, 1)),
                ReplyField::lastInt(slot(values, 2))});
}

// A command without arguments and without value fields.
int bare(const char* group, const char* name) {
    return run({}, [&] { return RequestLine(group, name); });
}

// A command with integer arguments and without value fields.
template <class... Ints> int integers(const char* group, const char* name, Ints... arguments) {
    return run({}, [&] {
        RequestLine line(group, name);
        (line.integer(arguments), ...);
        return line;
    });
}

} // namespace

} // namespace zrb

using zrb::ReplyField;
using zrb::RequestLine;

extern "C" {

// Reset and triggers ---------------------------------------------------------

ZRB_API int ZRB_ResetToIdle(void) {
    return zrb::bare("Reset", "ToIdle");
}

ZRB_API int ZRB_TriggerLoopback(void) {
    return zrb::bare("Trigger", "Loopback");
}

ZRB_API int ZRB_TriggerSet(int trigger, int source, int mode, double value) {
    return zrb::run({}, [&] {
        return RequestLine("Trigger", "Set").integer(trigger).integer(source).integer(mode).real(value);
    });
}

ZRB_API uint8_t ZRB_TriggerHasTriggered(int trigger) {
    return zrb::runFlag([&] { return RequestLine("Trigger", "HasTriggered").integer(trigger); });
}

ZRB_API int ZRB_TriggerClearAllScheduled(void) {
    return zrb::bare("Trigger", "ClearAllScheduled");
}

// RF -------------------------------------------------------------------------

ZRB_API int ZRB_RfLaunchSpy(const char* text, int first, int second, int third) {
    return zrb::run({text}, [&] {
        return RequestLine("Rf", "LaunchSpy").text(text).integer(first).integer(second).integer(third);
    });
}

ZRB_API int ZRB_RfStopSpy(void) {
    return zrb::bare("Rf", "StopSpy");
}

ZRB_API int ZRB_RfFieldOn(int value) {
    return zrb::integers("Rf", "FieldOn", value);
}

ZRB_API int ZRB_RfFieldOff(int value) {
    return zrb::integers("Rf", "FieldOff", value);
}

ZRB_API int ZRB_RfCancelOutput(void) {
    return zrb::bare("Rf", "CancelOutput");
}

ZRB_API int ZRB_RfSetTechnology(int technology) {
    return zrb::integers("Rf", "SetTechnology", technology);
}

ZRB_API int ZRB_RfSetPowerLevel(int level) {
    return zrb::integers("Rf", "SetPowerLevel", level);
}

ZRB_API int ZRB_RfSetIso15693Modes(int first, int second, int third, int fourth) {
    return zrb::integers("Rf", "SetIso15693Modes", first, second, third, fourth);
}

ZRB_API int ZRB_RfSetRxTimeOut(double timeOut) {
    return zrb::run({}, [&] { return RequestLine("Rf", "SetRxTimeOut").real(timeOut); });
}

ZRB_API int ZRB_RfSetRxIgnoreDurationNs(double duration) {
    return zrb::run({}, [&] { return RequestLine("Rf", "SetRxIgnoreDurationNs").real(duration); });
}

ZRB_API int ZRB_RfScheduleRequest(const uint8_t* data, unsigned bits, int value, int* values) {
    return zrb::scheduleRequest("ScheduleRequest", data, bits, value, values);
}

ZRB_API int ZRB_RfAppendScheduledRequest(const uint8_t* data, unsigned bits, int value, int* values) {
    return zrb::scheduleRequest("AppendScheduledRequest", data, bits, value, values);
}

ZRB_API int ZRB_RfScheduleEof(int value) {
    return zrb::integers("Rf", "ScheduleEof", value);
}

ZRB_API int ZRB_RfGetResponse(int first, uint8_t* data, int size, int* count, int* values) {
    return zrb::run(
        {}, [&] { return RequestLine("Rf", "GetResponse").integer(first).integer(size); },
        {ReplyField::hexBytes(data, zrb::storable(size)), ReplyField::checkedInt(count),
         ReplyField::checkedInt(zrb::slot(values, 0)), ReplyField::checkedInt(zrb::slot(values, 1)),
         ReplyField::checkedInt(zrb::slot(values, 2)), ReplyField::lastInt(zrb::slot(values, 3))});
}

// GPIO -----------------------------------------------------------------------

ZRB_API int ZRB_GpioCfgOpenDrain(int pin, uint8_t enable) {
    return zrb::run({}, [&] { return RequestLine("Gpio", "CfgOpenDrain").integer(pin).byte(enable); });
}

ZRB_API int ZRB_GpioUseAsExternalTrigger(int pin) {
    return zrb::integers("Gpio", "UseAsExternalTrigger", pin);
}

ZRB_API int ZRB_GpioOutputTriggerSrc(int pin, int source) {
    return zrb::integers("Gpio", "OutputTriggerSrc", pin, source);
}

ZRB_API int ZRB_GpioScheduleWaveformOutput(int pin, const Waveform* waveform, int trigger, int option) {
    return zrb::run({waveform}, [&] {
        return RequestLine("Gpio", "ScheduleWaveformOutput")
            .integer(pin)
            .text(zrb::elementText(waveform))
            .integer(trigger)
            .integer(option);
    });
}

ZRB_API uint8_t ZRB_GpioWaveformOutputDone(int pin, int trigger) {
    return zrb::runFlag(
        [&] { return RequestLine("Gpio", "WaveformOutputDone").integer(pin).integer(trigger); });
}

ZRB_API int ZRB_GpioScheduleStaticOutput(int pin, uint8_t level, int trigger) {
    return zrb::run({}, [&] {
        return RequestLine("Gpio", "ScheduleStaticOutput").integer(pin).byte(level).integer(trigger);
    });
}

ZRB_API int ZRB_GpioCancelOutput(int pin) {
    return zrb::integers("Gpio", "CancelOutput", pin);
}

ZRB_API int ZRB_GpioScheduleCapture(int pin, double duration, int trigger) {
    return zrb::run({}, [&] {
        return RequestLine("Gpio", "ScheduleCapture").integer(pin).real(duration).integer(trigger);
    });
}

ZRB_API int ZRB_GpioGetCapture(int pin, int trigger, Waveform** out) {
    // The capture is the reply's last field, so it is stored as soon as it is
    // read; with no place to store it, it is not made at all.
    const ReplyField capture = ReplyField::custom([out](std::string_view text) {
        if (out == nullptr) return ReplyField::Read::kStored;
        try {
            *out = zrb::readElementText(zrb::kCapturedWaveformName, text).release();
            return ReplyField::Read::kStored;
        } catch (...) {
            return ReplyField::Read::kFailed;
        }
    });
    return zrb::run({}, [&] { return RequestLine("Gpio", "GetCapture").integer(pin).integer(trigger); },
                    {capture});
}

ZRB_API int ZRB_GpioGetValue(int pin, uint8_t* value) {
    return zrb::run({}, [&] { return RequestLine("Gpio", "GetValue").integer(pin); },
                    {ReplyField::flagByte(value)});
}

ZRB_API int ZRB_GpioScheduleClockOutput(int pin, double clock, int trigger) {
    return zrb::run({}, [&] {
        return RequestLine("Gpio", "ScheduleClockOutput").integer(pin).real(clock).integer(trigger);
    });
}

ZRB_API int ZRB_GpioScheduleBaseband(int pin, const uint8_t* data, unsigned bits, int trigger) {
    return zrb::run({data}, [&] {
        return RequestLine("Gpio", "ScheduleBaseband").integer(pin).hexBits(data, bits).integer(trigger);
    });
}

ZRB_API int ZRB_GpioDecodeModulationState(const Waveform* waveform, uint8_t* data, int size, int* count) {
    return zrb::run({waveform},
                    [&] {
                        return RequestLine("Gpio", "DecodeModulationState")
                            .text(zrb::elementText(waveform))
                            .integer(size);
                    },
                    {ReplyField::hexBytes(data, zrb::storable(size)), ReplyField::lastInt(count)});
}

ZRB_API int ZRB_GpioEnableDecoderProbing(const char* text) {
    return zrb::run({text}, [&] { return RequestLine("Gpio", "EnableDecoderProbing").text(text); });
}

ZRB_API int ZRB_GpioDisableDecoderProbing(void) {
    return zrb::bare("Gpio", "DisableDecoderProbing");
}

ZRB_API int ZRB_GpioSetTechnology(int technology) {
    return zrb::integers("Gpio", "SetTechnology", technology);
}

ZRB_API int ZRB_GpioSetIso15693Modes(int first, int second, int third, int fourth) {
    return zrb::integers("Gpio", "SetIso15693Modes", first, second, third, fourth);
}

ZRB_API int ZRB_GpioCancelAllOutputs(void) {
    return zrb::bare("Gpio", "CancelAllOutputs");
}

} // extern "C"
