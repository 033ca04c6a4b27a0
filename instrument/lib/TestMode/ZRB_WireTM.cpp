// The wire test mode. A device under test is driven through four lines on
// instrument pins (TSTCK, TSTIN, TSTEN, TSTOUT): the library only schedules
// waveforms, clocks and captures on triggers and fires them; the instrument
// does the timing. Every step that fails ends the operation with the failure
// trace and its code; what the instrument already applied stays.
#include "export_guard.h"
#include "result_code.h"
#include "wire_tm_log.h"

#include <vkplatform/kernel_services.h>

#include <Zorbel.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace zrb::wiretm {

struct WaveformDeleter {
    void operator()(Waveform* waveform) const { ZRB_WaveformDelete(waveform); }
};
using WaveformPtr = std::unique_ptr<Waveform, WaveformDeleter>;

} // namespace zrb::wiretm

struct ZRB_WireTMStimuli {
    zrb::wiretm::WaveformPtr tstck;
    zrb::wiretm::WaveformPtr tstin;
    zrb::wiretm::WaveformPtr tstout; // the placeholder, then the last captured response
    zrb::wiretm::WaveformPtr tsten;
    zrb::wiretm::WaveformPtr levelOne;
    // The TSTOUT waveforms later captures replaced: a caller may still hold
    // them as responses, so they go with the stimuli.
    std::vector<zrb::wiretm::WaveformPtr> earlierResponses;
};

namespace {

using zrb::kWireTmLog;
using zrb::wiretm::WaveformPtr;

constexpr int kFailed = 1;
constexpr int kTimeOut = 2;

constexpr double kShortNs = 16;    // every short level
constexpr double kFrameNs = 10000; // around the response request pulse
constexpr double kRequestPulseNs = 5500000;
constexpr double kShortestHighNs = 3000; // final high pulse of a valid response
constexpr double kChainDelay = 10000.0;  // value of a trigger chained to another

// Trigger sources and modes as the instrument takes them.
constexpr int kSourceNone = 0;
constexpr int kSourceEnable = 4;
constexpr int kModeArm = 0;
constexpr int kModeChained = 1;
constexpr int kModeOnOutput = 2;
constexpr int kModeFire = 3;

constexpr int kImmediate = 0; // trigger 0: at once
constexpr int kFieldMode = 1; // the RF field powers the device
constexpr int kAppendOption = 1;
constexpr int kReplaceOption = 0;

// The source naming another trigger.
int chainedTo(int trigger) {
    return static_cast<int>(static_cast<std::uint32_t>(trigger) + 3u);
}

// The source naming the output scheduled on `pin` with `trigger`: the pin with
// bit 15 set in the upper half, the trigger in the lower one. Negative as an int.
int outputOf(int pin, int trigger) {
    const std::uint32_t upper = (static_cast<std::uint32_t>(pin) | 0x8000u) & 0xFFFFu;
    return static_cast<int>(upper << 16 | static_cast<std::uint32_t>(trigger));
}

// One step of an operation: a failure is traced here and ends the operation.
#define STEP(call)                                                                                           \
    do {                                                                                                     \
        const int stepResult = (call);                                                                       \
        if (stepResult != zrb::kOk) {                                                                        \
            ZRB_LOG_FAILURE(kWireTmLog, stepResult);                                                         \
            return stepResult;                                                                               \
        }                                                                                                    \
    } while (0)

int append(const WaveformPtr& waveform, int level, double durationNs) {
    return ZRB_WaveformAppend(waveform.get(), level, durationNs, 0);
}

// The waveform cleared, then `level` for `durationNs`.
int setLevel(const WaveformPtr& waveform, int level, double durationNs) {
    const int cleared = ZRB_WaveformClear(waveform.get());
    return cleared != zrb::kOk ? cleared : append(waveform, level, durationNs);
}

int schedule(int pin, const WaveformPtr& waveform, int trigger, int option) {
    return ZRB_GpioScheduleWaveformOutput(pin, waveform.get(), trigger, option);
}

// Reads `pin` until it shows `expected`, sleeping 1 ms between reads; 2 once
// more than timeoutMs sleeps were made. The count is 64 bits wide, so even the
// largest unsigned timeout ends.
int PollPinValue(int pin, std::uint8_t expected, int timeoutMs) {
    const std::uint64_t limit = static_cast<std::uint32_t>(timeoutMs);
    std::uint64_t sleeps = 0;
    while (true) {
        std::uint8_t level = 0;
        STEP(ZRB_GpioGetValue(pin, &level));
        if (level == expected) return zrb::kOk;
        if (sleeps > limit) {
            ZRB_LOG(kWireTmLog, ZLOG_LEVEL_ERROR, "Time-out (%dms) while waiting TstOut to raise", timeoutMs);
            return kTimeOut;
        }
        vkplatform::kernel::sleepMilliseconds(1);
        ++sleeps;
    }
}

// A call refused before anything is sent.
int refused() {
    ZRB_LOG_FAILURE(kWireTmLog, zrb::kNullPointer);
    return zrb::kNullPointer;
}

enum class Shape { kNoAnswer, kNoHighPulse, kNoLowLevel };

// Traces why the capture is not a response, with its elements, and gives 1.
int refuseShape(Shape shape, const Waveform* capture) {
    char* text = ZRB_WaveformDumpString(capture, 0);
    const char* shown = text != nullptr ? text : "";
    switch (shape) {
    case Shape::kNoAnswer: ZRB_LOG(kWireTmLog, ZLOG_LEVEL_ERROR, "No answer on TSTOUT: %s", shown); break;
    case Shape::kNoHighPulse:
        ZRB_LOG(kWireTmLog, ZLOG_LEVEL_ERROR, "Test mode response doesn't end with high pulse. Response: %s",
                shown);
        break;
    case Shape::kNoLowLevel:
        ZRB_LOG(kWireTmLog, ZLOG_LEVEL_ERROR, "Test mode response doesn't end with low level. Response: %s",
                shown);
        break;
    }
    std::free(text);
    return kFailed;
}

// A response changes TSTOUT and ends with a high pulse of at least 3000 ns
// followed by a low level. Elements are read only inside the capture.
int judge(const Waveform* capture) {
    const int count = ZRB_WaveformGetNbElements(capture);
    if (count == 1) return refuseShape(Shape::kNoAnswer, capture);
    if (count < 2) return refuseShape(Shape::kNoHighPulse, capture);
    int level = 0;
    double duration = 0.0;
    STEP(ZRB_WaveformGetElement(capture, count - 2, &level, &duration, nullptr));
    if (level != 1 || duration < kShortestHighNs) return refuseShape(Shape::kNoHighPulse, capture);
    STEP(ZRB_WaveformGetElement(capture, count - 1, &level, nullptr, nullptr));
    if (level != 0) return refuseShape(Shape::kNoLowLevel, capture);
    return zrb::kOk;
}

// Fetches the capture into the TSTOUT slot; one that comes beside a failing
// code is kept there too. The waveform it replaces joins the earlier
// responses, for which room was made beforehand.
int fetchResponse(ZRB_WireTMStimuli& stimuli, int pin, int trigger) {
    Waveform* capture = nullptr;
    const int result = ZRB_GpioGetCapture(pin, trigger, &capture);
    if (capture != nullptr) {
        stimuli.earlierResponses.push_back(std::move(stimuli.tstout));
        stimuli.tstout.reset(capture);
    }
    return result;
}

} // namespace

extern "C" {

ZRB_API ZRB_WireTMStimuli* ZRB_WireTMStimuliAllocate(void) {
    return zrb::guarded<ZRB_WireTMStimuli*>(nullptr, []() -> ZRB_WireTMStimuli* {
        auto stimuli = std::make_unique<ZRB_WireTMStimuli>();
        const std::pair<WaveformPtr*, const char*> made[] = {{&stimuli->tstck, "TSTCK"},
                                                             {&stimuli->tstin, "TSTIN"},
                                                             {&stimuli->tstout, "TSTOUT"},
                                                             {&stimuli->tsten, "TSTEN"},
                                                             {&stimuli->levelOne, "LevelOne"}};
        for (const auto& [slot, name] : made) {
            slot->reset(ZRB_WaveformNew(name));
            if (*slot == nullptr) return nullptr;
        }
        if (append(stimuli->levelOne, 1, kShortNs) != zrb::kOk) return nullptr;
        return stimuli.release();
    });
}

ZRB_API void ZRB_WireTMStimuliFree(ZRB_WireTMStimuli* stimuli) {
    if (stimuli == nullptr) return;
    ZRB_LOG(kWireTmLog, ZLOG_LEVEL_DEBUG, "Free stimuli %p", static_cast<void*>(stimuli));
    delete stimuli;
}

ZRB_API int ZRB_WireTMEntry(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                            int pinTstout, int pinAux, int pinSupply, int trigger, int timeoutMs,
                            int fieldMode) {
    if (stimuli == nullptr) return refused();
    const int pins[] = {pinTstck, pinTstin, pinTsten, pinTstout, pinAux, pinSupply};
    for (const int pin : pins)
        STEP(ZRB_GpioCancelOutput(pin));
    for (const int pin : pins)
        STEP(ZRB_GpioCfgOpenDrain(pin, 0));
    STEP(ZRB_RfFieldOff(0));
    // TSTCK low, TSTEN and TSTIN high together when the trigger fires.
    STEP(setLevel(stimuli->tstck, 0, kShortNs));
    STEP(schedule(pinTstck, stimuli->tstck, trigger, kAppendOption));
    STEP(setLevel(stimuli->tsten, 1, kShortNs));
    STEP(schedule(pinTsten, stimuli->tsten, trigger, kAppendOption));
    STEP(setLevel(stimuli->tstin, 1, kShortNs));
    STEP(schedule(pinTstin, stimuli->tstin, trigger, kAppendOption));
    STEP(ZRB_TriggerSet(trigger, kSourceNone, kModeFire, 0.0));
    STEP(ZRB_GpioScheduleStaticOutput(pinAux, 1, kImmediate));
    vkplatform::kernel::sleepMilliseconds(1);
    STEP(ZRB_GpioCancelOutput(pinTstout));
    if (fieldMode == kFieldMode) {
        STEP(ZRB_RfFieldOn(0));
        return zrb::kOk;
    }
    STEP(ZRB_GpioScheduleStaticOutput(pinSupply, 1, kImmediate));
    // The device raises TSTOUT once it is in test mode.
    STEP(PollPinValue(pinTstout, 1, timeoutMs));
    return zrb::kOk;
}

ZRB_API int ZRB_WireTMSendRequest(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                                  int pinTstout, double clock, const uint8_t* request, unsigned requestBits,
                                  int timeoutMs, int trigger1, int trigger2, int trigger3, int trigger4) {
    // Both checked before anything goes out: no clock may be left running.
    if (stimuli == nullptr || request == nullptr) return refused();
    STEP(ZRB_GpioScheduleClockOutput(pinTstck, clock, trigger1));
    STEP(setLevel(stimuli->tsten, 0, kShortNs));
    STEP(ZRB_TriggerSet(trigger2, kSourceEnable, kModeArm, 0.0));
    STEP(schedule(pinTsten, stimuli->tsten, trigger2, kAppendOption));
    STEP(ZRB_GpioScheduleBaseband(pinTstin, request, requestBits, trigger3));
    STEP(schedule(pinTstin, stimuli->levelOne, trigger4, kAppendOption));
    // trigger1 starts the clock; TSTEN goes low after it, the bits follow, and
    // TSTIN goes back high once they have been played.
    STEP(ZRB_TriggerSet(trigger2, chainedTo(trigger1), kModeChained, kChainDelay));
    STEP(ZRB_TriggerSet(trigger3, chainedTo(trigger2), kModeChained, kChainDelay));
    STEP(ZRB_TriggerSet(trigger4, outputOf(pinTstin, trigger3), kModeOnOutput, 0.0));
    STEP(ZRB_TriggerSet(trigger1, kSourceNone, kModeFire, 0.0));
    // The device pulls TSTOUT low once it has taken the request.
    STEP(PollPinValue(pinTstout, 0, timeoutMs));
    return zrb::kOk;
}

ZRB_API int ZRB_WireTMGetResponse(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                                  int pinTstout, int /*unused*/, int trigger1, int trigger2, int trigger3,
                                  Waveform** response) {
    if (stimuli == nullptr) return refused();
    // Released on every way out, once its element text has been sent.
    const WaveformPtr tstin2(ZRB_WaveformNew("TSTIN2"));
    if (tstin2 == nullptr) return kFailed;
    const bool roomForCapture = zrb::guarded(false, [&] {
        stimuli->earlierResponses.reserve(stimuli->earlierResponses.size() + 1);
        return true;
    });
    if (!roomForCapture) return kFailed;

    STEP(ZRB_WaveformClear(stimuli->tstin.get()));
    STEP(append(stimuli->tstin, 0, kFrameNs));
    STEP(append(stimuli->tstin, 1, kRequestPulseNs));
    STEP(append(stimuli->tstin, 0, kFrameNs));
    STEP(append(tstin2, 1, kShortNs));
    STEP(schedule(pinTstin, stimuli->tstin, trigger1, kReplaceOption));
    STEP(schedule(pinTstin, tstin2, trigger2, kAppendOption));
    STEP(ZRB_TriggerSet(trigger2, outputOf(pinTstin, trigger1), kModeOnOutput, 0.0));
    STEP(setLevel(stimuli->tsten, 1, kShortNs));
    STEP(schedule(pinTsten, stimuli->tsten, trigger2, kAppendOption));
    STEP(ZRB_TriggerSet(trigger3, chainedTo(trigger2), kModeOnOutput, kChainDelay));
    // Not cleared: the low level grows by 16 ns with every response.
    STEP(append(stimuli->tstck, 0, kShortNs));
    STEP(schedule(pinTstck, stimuli->tstck, trigger3, kAppendOption));
    double duration = 0.0;
    STEP(ZRB_WaveformDuration(stimuli->tstin.get(), &duration));
    STEP(ZRB_GpioScheduleCapture(pinTstout, duration, trigger1));
    // The request pulse and the capture start together.
    STEP(ZRB_TriggerSet(trigger1, kSourceNone, kModeFire, 0.0));
    STEP(fetchResponse(*stimuli, pinTstout, trigger1));

    const int shape = judge(stimuli->tstout.get());
    if (shape != zrb::kOk) return shape;
    if (response != nullptr) *response = stimuli->tstout.get();
    return zrb::kOk;
}

ZRB_API int ZRB_WireTMStop(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                           int /*pinTstout*/, int pinAux, int pinSupply, int fieldMode) {
    STEP(ZRB_GpioScheduleStaticOutput(pinTstck, 0, kImmediate));
    STEP(ZRB_GpioScheduleStaticOutput(pinTstin, 0, kImmediate));
    STEP(ZRB_GpioScheduleStaticOutput(pinTsten, 0, kImmediate));
    if (fieldMode == kFieldMode)
        STEP(ZRB_RfFieldOff(0));
    else
        STEP(ZRB_GpioScheduleStaticOutput(pinSupply, 0, kImmediate));
    STEP(ZRB_GpioScheduleStaticOutput(pinAux, 0, kImmediate));
    ZRB_WireTMStimuliFree(stimuli);
    return zrb::kOk;
}

} // extern "C"
