// I2C stimuli and transactions. A stimuli is built on the host as a pair of
// waveforms, segment by segment, recording the SCL rising edge of every byte bit
// and the window of every byte in which the device drives SDA. A transaction
// schedules the pair on two pins and a trigger, waits for the output, fetches
// both captures once and decodes read bytes and acknowledges from them.
#include "export_guard.h"
#include "i2c_internal.h"
#include "i2c_log.h"
#include "result_code.h"
#include "waveform_internal.h"

#include <vkplatform/kernel_services.h>

#include <Zorbel.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

struct ZRB_I2cTransactionPrivate {
    int pinScl = 0;
    int pinSda = 0;
    Waveform* sclCapture = nullptr;
    Waveform* sdaCapture = nullptr;
    int trigger = 0;
    ZRB_I2cStimuli* stimuli = nullptr;
};

namespace {

using zrb::kI2cLog;
using zrb::i2c::AckWindow;

constexpr int kFailed = 1;
constexpr int kTimeOut = 2;
constexpr std::uint8_t kAcknowledgeBit = 8;
constexpr int kDeviceDriven = 2;

// Library-wide: non-zero filters every capture when it is fetched.
std::uint8_t captureFilter = 0;

// Bit period and its parts in ns for a stimuli's frequency.
struct Timing {
    double t;
    double quarter() const { return t / 4; }
    double half() const { return t / 2; }
    double threeQuarters() const { return 3 * t / 4; }
    double testModeStep() const { return 1.5 * t; }
};

// The timing of a stimuli, or nothing when its frequency gives no bit period.
bool timingOf(const ZRB_I2cStimuli& stimuli, Timing& timing) {
    if (stimuli.frequencyHz == 0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Stimuli %p has no bit period at 0Hz",
                static_cast<const void*>(&stimuli));
        return false;
    }
    timing.t = 1e9 / stimuli.frequencyHz;
    return true;
}

double sclEnd(const ZRB_I2cStimuli& stimuli) {
    return ZRB_WaveformGetEndTime(stimuli.scl.get());
}

double sdaEnd(const ZRB_I2cStimuli& stimuli) {
    return ZRB_WaveformGetEndTime(stimuli.sda.get());
}

// One segment of one line; a failure is traced where it happened.
#define APPEND(line, level, duration)                                                                        \
    do {                                                                                                     \
        const int appended = ZRB_WaveformAppend((line).get(), (level), (duration), 0);                       \
        if (appended != zrb::kOk) {                                                                          \
            ZRB_LOG_FAILURE(kI2cLog, appended);                                                              \
            return appended;                                                                                 \
        }                                                                                                    \
    } while (0)

// Low (phase 0) and high (phase 1) stretch of bit `bit` in ns; later entries
// win. The walk takes the whole table, however long.
void stretchesOf(const ZRB_I2cClockStretch* table, std::uint32_t count, std::uint8_t bit, double& low,
                 double& high) {
    low = high = 0.0;
    if (table == nullptr) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (table[i].BitIndex != bit) continue;
        if (table[i].Phase == 0) low = table[i].DurationUs;
        if (table[i].Phase == 1) high = table[i].DurationUs;
    }
    low *= 1000.0;
    high *= 1000.0;
}

int appendBitWithClockStretching(ZRB_I2cStimuli& stimuli, const Timing& timing,
                                 const ZRB_I2cClockStretch* table, std::uint32_t count, int level,
                                 std::uint8_t bit) {
    double low = 0.0;
    double high = 0.0;
    stretchesOf(table, count, bit, low, high);
    APPEND(stimuli.sda, level, timing.t);
    APPEND(stimuli.scl, 0, timing.quarter());
    if (low != 0.0) {
        APPEND(stimuli.scl, 0, low);
        APPEND(stimuli.sda, level, low);
    }
    stimuli.bitTimings.push_back(sclEnd(stimuli));
    APPEND(stimuli.scl, 1, timing.half());
    if (high != 0.0) {
        APPEND(stimuli.scl, 1, high);
        APPEND(stimuli.sda, level, high);
    }
    APPEND(stimuli.scl, 0, timing.quarter());
    return zrb::kOk;
}

int addWriteByteRaw(ZRB_I2cStimuli& stimuli, const Timing& timing, std::uint8_t byte) {
    const double begin = sclEnd(stimuli);
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Append I2C Write byte 0x%02x at %.0f", static_cast<int>(byte), begin);
    stimuli.bitTimings.reserve(stimuli.bitTimings.size() + 9);
    for (int bit = 7; bit >= 0; --bit) {
        APPEND(stimuli.sda, (byte >> bit) & 1, timing.t);
        APPEND(stimuli.scl, 0, timing.quarter());
        stimuli.bitTimings.push_back(sclEnd(stimuli));
        APPEND(stimuli.scl, 1, timing.half());
        APPEND(stimuli.scl, 0, timing.quarter());
    }
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "Added I2C Write Byte 0x%x from %.0f to %.0f", static_cast<int>(byte),
            begin, sclEnd(stimuli));
    return zrb::kOk;
}

int addReadByteRaw(ZRB_I2cStimuli& stimuli, const Timing& timing, const ZRB_I2cClockStretch* table,
                   std::uint32_t count) {
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Append I2C Read byte at %.0f", sclEnd(stimuli));
    for (std::uint8_t bit = 0; bit < 8; ++bit) {
        const int result = appendBitWithClockStretching(stimuli, timing, table, count, kDeviceDriven, bit);
        if (result != zrb::kOk) return result;
    }
    return zrb::kOk;
}

int addAckRaw(ZRB_I2cStimuli& stimuli, const Timing& timing, int level, const ZRB_I2cClockStretch* table,
              std::uint32_t count) {
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Append I2C ACK at %.0fns", sclEnd(stimuli));
    return appendBitWithClockStretching(stimuli, timing, table, count, level, kAcknowledgeBit);
}

int appendWriteByte(ZRB_I2cStimuli& stimuli, std::uint8_t byte) {
    Timing timing{};
    if (!timingOf(stimuli, timing)) return kFailed;
    int result = addWriteByteRaw(stimuli, timing, byte);
    if (result != zrb::kOk) return result;
    // Room for the window first: running out of memory gives 1 here.
    stimuli.writeWindows.reserve(stimuli.writeWindows.size() + 1);
    AckWindow window{};
    const int index = static_cast<int>(stimuli.writeWindows.size());
    window.BeginNs = sclEnd(stimuli);
    if (window.BeginNs < 0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Failed here");
        return kFailed;
    }
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "WriteByte Ack[%d].BeginNs = %.0f to %p", index, window.BeginNs,
            static_cast<void*>(&stimuli));
    result = addAckRaw(stimuli, timing, kDeviceDriven, nullptr, 0);
    if (result != zrb::kOk) return result;
    window.EndNs = sclEnd(stimuli);
    if (window.EndNs < 0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Failed there");
        return kFailed;
    }
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "WriteByte Ack[%d].EndNs = %.0f to %p", index, window.EndNs,
            static_cast<void*>(&stimuli));
    stimuli.writeWindows.push_back(window);
    return zrb::kOk;
}

int appendReadByte(ZRB_I2cStimuli& stimuli, std::uint8_t ackLevel, const ZRB_I2cClockStretch* table,
                   std::uint32_t count) {
    Timing timing{};
    if (!timingOf(stimuli, timing)) return kFailed;
    stimuli.bitTimings.reserve(stimuli.bitTimings.size() + 9);
    stimuli.readWindows.reserve(stimuli.readWindows.size() + 1);
    AckWindow window{};
    const int index = static_cast<int>(stimuli.readWindows.size());
    window.BeginNs = sclEnd(stimuli);
    if (window.BeginNs < 0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Failed in there");
        return kFailed;
    }
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "ReadByte Ack[%d].BeginNs = %.0f to %p", index, window.BeginNs,
            static_cast<void*>(&stimuli));
    int result = addReadByteRaw(stimuli, timing, table, count);
    if (result != zrb::kOk) return result;
    window.EndNs = sclEnd(stimuli);
    if (window.EndNs < 0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Failed in here");
        return kFailed;
    }
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "ReadByte Ack[%d].EndNs = %.0f to %p", index, window.EndNs,
            static_cast<void*>(&stimuli));
    result = addAckRaw(stimuli, timing, ackLevel, table, count);
    if (result != zrb::kOk) return result;
    stimuli.readWindows.push_back(window);
    return zrb::kOk;
}

// Runs an export body; memory running out gives 1.
template <class Body> int stimuliCall(Body&& body) {
    return zrb::guarded(kFailed, std::forward<Body>(body));
}

// `count` bytes appended one by one with room for their timings made first;
// the first failure ends the run with its trace and code.
template <class AppendByte>
int appendEach(ZRB_I2cStimuli& stimuli, std::uint32_t count, AppendByte&& append) {
    return stimuliCall([&] {
        stimuli.bitTimings.reserve(stimuli.bitTimings.size() + std::size_t{9} * count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const int result = append(i);
            if (result != zrb::kOk) {
                ZRB_LOG_FAILURE(kI2cLog, result);
                return result;
            }
        }
        return zrb::kOk;
    });
}

void releaseStimuli(ZRB_I2cStimuli* stimuli) {
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "Free stimuli %p", static_cast<void*>(stimuli));
    delete stimuli;
}

// ---- transactions ----

ZRB_I2cTransactionPrivate& privateOf(const ZRB_I2cTransaction& transaction) {
    return *transaction.pPrivate;
}

int waitDoneOrTimeout(const ZRB_I2cTransaction& transaction) {
    const ZRB_I2cTransactionPrivate& part = privateOf(transaction);
    if (ZRB_GpioWaveformOutputDone(part.pinScl, part.trigger) != 0) return zrb::kOk;
    double duration = 0.0;
    const int measured = ZRB_WaveformDuration(part.stimuli->scl.get(), &duration);
    if (measured != zrb::kOk) return measured;
    // In double first: a huge, negative or undefined duration must not reach
    // the conversion.
    const double limit = std::ceil(duration / 1e6);
    const std::uint32_t sleeps =
        !(limit > 0) ? 0u
                     : (limit >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())
                            ? std::numeric_limits<std::uint32_t>::max()
                            : static_cast<std::uint32_t>(limit));
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "Waiting completion of I2C transaction (up to %dms)",
            static_cast<int>(sleeps));
    for (std::uint32_t i = 0; i < sleeps; ++i) {
        vkplatform::kernel::sleepMilliseconds(1);
        if (ZRB_GpioWaveformOutputDone(part.pinScl, part.trigger) != 0) return zrb::kOk;
    }
    ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Time-out (%dms) while waiting end of I2C transaction",
            static_cast<int>(sleeps));
    return kTimeOut;
}

// Fetches one capture into an empty slot, filtered and made contiguous when the
// filter is on. A failing fetch leaves the slot empty, so the next call asks
// again instead of decoding what the instrument called failed.
int fetchCapture(int pin, int trigger, std::uint32_t frequencyHz, Waveform*& slot) {
    if (slot != nullptr) return zrb::kOk;
    Waveform* capture = nullptr;
    int result = ZRB_GpioGetCapture(pin, trigger, &capture);
    if (result == zrb::kOk && captureFilter != 0) result = zrb::i2c::filterCapture(*capture, frequencyHz);
    if (result != zrb::kOk) {
        ZRB_WaveformDelete(capture);
        return result;
    }
    slot = capture;
    return zrb::kOk;
}

int fillCapture(ZRB_I2cTransaction& transaction) {
    ZRB_I2cTransactionPrivate& part = privateOf(transaction);
    const std::uint32_t frequency = part.stimuli->frequencyHz;
    const int result = fetchCapture(part.pinScl, part.trigger, frequency, part.sclCapture);
    if (result != zrb::kOk) return result;
    return fetchCapture(part.pinSda, part.trigger, frequency, part.sdaCapture);
}

// A zeroed result array of `count` bytes in place of `array`; false when memory
// runs out (the old array stays).
bool renewArray(std::uint8_t*& array, std::uint32_t& size, std::size_t count) {
    auto* fresh = static_cast<std::uint8_t*>(std::calloc(count == 0 ? 1 : count, 1));
    if (fresh == nullptr) return false;
    std::free(array);
    array = fresh;
    size = static_cast<std::uint32_t>(count);
    return true;
}

int decodeReadBytesOf(ZRB_I2cTransaction& transaction) {
    int result = fillCapture(transaction);
    if (result != zrb::kOk) return result;
    const ZRB_I2cTransactionPrivate& part = privateOf(transaction);
    const std::vector<AckWindow>& windows = part.stimuli->readWindows;
    if (!renewArray(transaction.pReadBytes, transaction.NbReadBytes, windows.size())) return kFailed;
    return zrb::i2c::decodeReadBytes(*part.sclCapture, *part.sdaCapture, windows, transaction.pReadBytes);
}

int decodeAcksOf(ZRB_I2cTransaction& transaction) {
    int result = fillCapture(transaction);
    if (result != zrb::kOk) return result;
    const ZRB_I2cTransactionPrivate& part = privateOf(transaction);
    const std::vector<AckWindow>& windows = part.stimuli->writeWindows;
    if (!renewArray(transaction.pAcks, transaction.NbAcks, windows.size())) return kFailed;
    return zrb::i2c::decodeAcks(*part.sclCapture, *part.sdaCapture, windows, transaction.pAcks);
}

// Releases a transaction and its hold on the stimuli, never the stimuli
// itself.
void releaseTransaction(ZRB_I2cTransaction* transaction) {
    std::free(transaction->pReadBytes);
    std::free(transaction->pAcks);
    ZRB_WaveformDelete(transaction->pPrivate->sclCapture);
    ZRB_WaveformDelete(transaction->pPrivate->sdaCapture);
    --transaction->pPrivate->stimuli->references;
    delete transaction->pPrivate;
    delete transaction;
}

// The decode of one read byte from SCL and SDA cut to its window.
int decodeReadByte(const Waveform* scl, const Waveform* sda, double start, std::uint8_t& byte) {
    byte = 0;
    int index = 0;
    for (int bit = 7; bit >= 0; --bit) {
        int level = 0;
        double duration = 0.0;
        double begin = 0.0;
        const int found = bit == 7 ? ZRB_WaveformGetAtTime(scl, start, &level, &duration, &begin, &index)
                                   : ZRB_WaveformGetElement(scl, index, &level, &duration, &begin);
        if (found != zrb::kOk) return found;
        if (level != 0) {
            ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "SCL @%.0fns should be 0 (bit start)", begin);
            return kFailed;
        }
        const double rising = begin + duration;
        index += 2;
        int sdaLevel = 0;
        const int sampled = ZRB_WaveformGetAtTime(sda, rising, &sdaLevel, nullptr, nullptr, nullptr);
        if (sampled != zrb::kOk) return sampled;
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "SCL rising edge @%.0fns, SDA value %d", rising, sdaLevel);
        // Any level other than low is a 1 bit: a 2 must not spill into the
        // neighbouring bit.
        if (sdaLevel != 0) byte = static_cast<std::uint8_t>(byte | (1u << bit));
    }
    return zrb::kOk;
}

} // namespace

namespace zrb::i2c {

int decodeReadBytes(const Waveform& scl, const Waveform& sda, std::span<const AckWindow> windows,
                    std::uint8_t* bytes) {
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Waveform* sclPiece = nullptr;
        Waveform* sdaPiece = nullptr;
        int result = ZRB_WaveformExtract(&scl, &sclPiece, windows[i].BeginNs, windows[i].EndNs, 1);
        if (result == kOk)
            result = ZRB_WaveformExtract(&sda, &sdaPiece, windows[i].BeginNs, windows[i].EndNs, 1);
        if (result == kOk) result = decodeReadByte(sclPiece, sdaPiece, windows[i].BeginNs, bytes[i]);
        ZRB_WaveformDelete(sclPiece);
        ZRB_WaveformDelete(sdaPiece);
        if (result != kOk) return result;
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Read byte[%d]=0x%02x", static_cast<int>(i),
                static_cast<int>(bytes[i]));
    }
    return kOk;
}

int decodeAcks(const Waveform& scl, const Waveform& sda, std::span<const AckWindow> windows,
               std::uint8_t* acks) {
    if (windows.empty()) return kOk;
    return guarded(kFailed, [&] {
        const int count =
            static_cast<int>(std::min<std::size_t>(windows.size(), std::numeric_limits<int>::max()));
        std::vector<double> times(static_cast<std::size_t>(count));
        std::vector<Waveform::Element> elements(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            times[static_cast<std::size_t>(i)] = windows[static_cast<std::size_t>(i)].BeginNs;
        int result = WaveformGetAtTimes(&scl, times.data(), count, elements.data());
        if (result != kOk) return result;
        for (int i = 0; i < count; ++i) {
            const Waveform::Element& element = elements[static_cast<std::size_t>(i)];
            if (element.amplitude != 0) {
                ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "SCL @%.0fns should be 0 (ack bit start)",
                        element.absTime);
                return kFailed;
            }
            times[static_cast<std::size_t>(i)] = element.absTime + element.duration;
            ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "SCL rising edge @%.0fns", times[static_cast<std::size_t>(i)]);
        }
        result = WaveformGetAtTimes(&sda, times.data(), count, elements.data());
        if (result != kOk) return result;
        for (int i = 0; i < count; ++i) {
            acks[i] = static_cast<std::uint8_t>(elements[static_cast<std::size_t>(i)].amplitude);
            ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "SDA value %d @%.0fns", static_cast<int>(acks[i]),
                    times[static_cast<std::size_t>(i)]);
        }
        return kOk;
    });
}

void makeContiguous(Waveform& waveform) {
    const std::vector<Waveform::Element> elements = waveform.Elements();
    if (elements.empty()) return;
    const double start = waveform.StartTime();
    waveform.Clear();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const double begin = i == 0 ? start : elements[i].absTime;
        const double end =
            i + 1 < elements.size() ? elements[i + 1].absTime : elements[i].absTime + elements[i].duration;
        waveform.AppendBase(elements[i].amplitude, end - begin);
    }
}

int filterCapture(Waveform& capture, std::uint32_t busFrequencyHz) {
    const int result = ZRB_WaveformLowPassFilter(&capture, captureFilterFrequency(busFrequencyHz));
    if (result != kOk) return result;
    return guarded(kWaveformException, [&] {
        makeContiguous(capture);
        return kOk;
    });
}

unsigned captureFilterFrequency(std::uint32_t busFrequencyHz) {
    const std::uint64_t frequency = std::uint64_t{10} * busFrequencyHz;
    return static_cast<unsigned>(std::min<std::uint64_t>(frequency, std::numeric_limits<unsigned>::max()));
}

} // namespace zrb::i2c

extern "C" {

// ---- stimuli ----

ZRB_API ZRB_I2cStimuli* ZRB_I2cStimuliAllocate(uint32_t frequencyHz) {
    ZRB_I2cStimuli* stimuli = zrb::guarded<ZRB_I2cStimuli*>(nullptr, [&] {
        auto made = std::make_unique<ZRB_I2cStimuli>();
        made->frequencyHz = frequencyHz;
        made->scl = Waveform::create("SCL");
        made->sda = Waveform::create("SDA");
        return made.release();
    });
    if (stimuli != nullptr)
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_DEBUG, "Allocated stimuli %p at %dHz", static_cast<void*>(stimuli),
                static_cast<int>(frequencyHz));
    return stimuli;
}

ZRB_API void ZRB_I2cStimuliFree(ZRB_I2cStimuli* stimuli) {
    if (stimuli == nullptr) return;
    if (stimuli->references > 0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR,
                "Stimuli %p is still referenced by a transaction; hence it is NOT freed.",
                static_cast<void*>(stimuli));
        return;
    }
    releaseStimuli(stimuli);
}

ZRB_API int ZRB_I2cStimuliAppendStart(ZRB_I2cStimuli* stimuli, int repeated) {
    if (stimuli == nullptr) return zrb::kNullPointer;
    return stimuliCall([&] {
        Timing timing{};
        if (!timingOf(*stimuli, timing)) return kFailed;
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Append I2C Start at %.0f to %p", sdaEnd(*stimuli),
                static_cast<void*>(stimuli));
        if (repeated != 0) {
            APPEND(stimuli->scl, 0, timing.quarter());
            APPEND(stimuli->scl, 1, timing.quarter());
            APPEND(stimuli->sda, 1, timing.half());
        }
        APPEND(stimuli->scl, 1, timing.quarter());
        APPEND(stimuli->scl, 0, timing.quarter());
        APPEND(stimuli->sda, 0, timing.half());
        return zrb::kOk;
    });
}

ZRB_API int ZRB_I2cStimuliAppendStop(ZRB_I2cStimuli* stimuli) {
    if (stimuli == nullptr) return zrb::kNullPointer;
    return stimuliCall([&] {
        Timing timing{};
        if (!timingOf(*stimuli, timing)) return kFailed;
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Append I2C Stop at %.0f to %p", sdaEnd(*stimuli),
                static_cast<void*>(stimuli));
        APPEND(stimuli->sda, 0, timing.half());
        APPEND(stimuli->sda, 1, timing.half());
        APPEND(stimuli->scl, 0, timing.quarter());
        APPEND(stimuli->scl, 1, timing.threeQuarters());
        return zrb::kOk;
    });
}

ZRB_API int ZRB_I2cStimuliAppendWriteByte(ZRB_I2cStimuli* stimuli, uint8_t byte) {
    if (stimuli == nullptr) return zrb::kNullPointer;
    return stimuliCall([&] { return appendWriteByte(*stimuli, byte); });
}

ZRB_API int ZRB_I2cStimuliAppendWriteBytes(ZRB_I2cStimuli* stimuli, const uint8_t* bytes, uint32_t count) {
    if (stimuli == nullptr || (bytes == nullptr && count > 0)) return zrb::kNullPointer;
    return appendEach(*stimuli, count, [&](std::uint32_t i) { return appendWriteByte(*stimuli, bytes[i]); });
}

ZRB_API int ZRB_I2cStimuliAppendReadByte(ZRB_I2cStimuli* stimuli, uint8_t ackLevel,
                                         const ZRB_I2cClockStretch* stretches, uint32_t stretchCount) {
    if (stimuli == nullptr || (stretches == nullptr && stretchCount > 0)) return zrb::kNullPointer;
    return stimuliCall([&] { return appendReadByte(*stimuli, ackLevel, stretches, stretchCount); });
}

ZRB_API int ZRB_I2cStimuliAppendReadBytes(ZRB_I2cStimuli* stimuli, const int32_t* ackLevels, uint32_t count,
                                          const ZRB_I2cClockStretch* stretches, uint32_t stretchCount) {
    if (stimuli == nullptr || (ackLevels == nullptr && count > 0) ||
        (stretches == nullptr && stretchCount > 0))
        return zrb::kNullPointer;
    return appendEach(*stimuli, count, [&](std::uint32_t i) {
        return appendReadByte(*stimuli, static_cast<std::uint8_t>(ackLevels[i]), stretches, stretchCount);
    });
}

ZRB_API int ZRB_I2cStimuliAppendSteady(ZRB_I2cStimuli* stimuli, uint8_t sclLevel, uint8_t sdaLevel,
                                       double durationNs) {
    if (stimuli == nullptr) return zrb::kNullPointer;
    return stimuliCall([&] {
        APPEND(stimuli->sda, sdaLevel, durationNs);
        APPEND(stimuli->scl, sclLevel, durationNs);
        return zrb::kOk;
    });
}

ZRB_API int ZRB_I2cStimuliAppendTestMode(ZRB_I2cStimuli* stimuli) {
    if (stimuli == nullptr) return zrb::kNullPointer;
    return stimuliCall([&] {
        Timing timing{};
        if (!timingOf(*stimuli, timing)) return kFailed;
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "Append I2C test mode at %.0f to %p", sclEnd(*stimuli),
                static_cast<void*>(stimuli));
        // Three stop conditions each followed by a start while SCL stays high.
        static constexpr int kSda[13] = {0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
        static constexpr int kScl[14] = {0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
        const double step = timing.testModeStep();
        APPEND(stimuli->sda, kSda[0], step);
        APPEND(stimuli->scl, kScl[0], step);
        APPEND(stimuli->scl, kScl[1], step);
        for (int i = 1; i < 13; ++i) {
            APPEND(stimuli->sda, kSda[i], step);
            APPEND(stimuli->scl, kScl[i + 1], step);
        }
        return zrb::kOk;
    });
}

ZRB_API int ZRB_I2cGetBitTiming(const ZRB_I2cStimuli* stimuli, uint32_t index, double* timeNs) {
    if (stimuli == nullptr) return zrb::kNullPointer;
    if (index >= stimuli->bitTimings.size()) return kFailed;
    if (timeNs != nullptr) *timeNs = stimuli->bitTimings[index];
    return zrb::kOk;
}

// ---- transactions ----

ZRB_API ZRB_I2cTransaction* ZRB_I2cSchedule(ZRB_I2cStimuli* pI2cStimuli, int PinScl, int PinSda,
                                            int trigger) {
    if (pI2cStimuli == nullptr) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Invalid NULL pI2cStimuli parameter");
        return nullptr;
    }
    if (trigger == ZRB_TRGID_IMMEDIATE) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Invalid ZRB_TRGID_IMMEDIATE Trigger parameter");
        return nullptr;
    }
    if (PinScl == PinSda) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "parameters PinScl PinSda shouldn't be same");
        return nullptr;
    }
    double sclDuration = 0.0;
    double sdaDuration = 0.0;
    int result = ZRB_WaveformDuration(pI2cStimuli->scl.get(), &sclDuration);
    if (result == zrb::kOk) result = ZRB_WaveformDuration(pI2cStimuli->sda.get(), &sdaDuration);
    if (result != zrb::kOk) {
        ZRB_LOG_FAILURE(kI2cLog, result);
        return nullptr;
    }
    if (sclDuration == 0.0) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_ERROR, "Cowardly refuse to schedule an empty I2C Stimuli");
        return nullptr;
    }

    auto* transaction = new (std::nothrow) ZRB_I2cTransaction{};
    if (transaction == nullptr) return nullptr;
    transaction->pPrivate = new (std::nothrow) ZRB_I2cTransactionPrivate{};
    if (transaction->pPrivate == nullptr) {
        delete transaction;
        return nullptr;
    }
    ZRB_I2cTransactionPrivate& part = *transaction->pPrivate;
    part.pinScl = PinScl;
    part.pinSda = PinSda;
    part.trigger = trigger;
    part.stimuli = pI2cStimuli;
    ++pI2cStimuli->references;
    transaction->DurationNs = sclDuration;

    result = waitDoneOrTimeout(*transaction);
    if (result == zrb::kOk) result = ZRB_GpioCfgOpenDrain(PinSda, 1);
    if (result == zrb::kOk) {
        ZRB_LOG(kI2cLog, ZLOG_LEVEL_INFO, "I2c schedule %p: %.0fns on trigger #%d",
                static_cast<void*>(pI2cStimuli), sclDuration, trigger);
        result = ZRB_GpioScheduleCapture(PinScl, sclDuration, trigger);
    }
    if (result == zrb::kOk) result = ZRB_GpioScheduleCapture(PinSda, sdaDuration, trigger);
    if (result == zrb::kOk)
        result = ZRB_GpioScheduleWaveformOutput(PinSda, pI2cStimuli->sda.get(), trigger, 0);
    if (result == zrb::kOk)
        result = ZRB_GpioScheduleWaveformOutput(PinScl, pI2cStimuli->scl.get(), trigger, 0);
    if (result != zrb::kOk) {
        ZRB_LOG_FAILURE(kI2cLog, result);
        // Only the hold taken above goes: the caller still owns the stimuli.
        releaseTransaction(transaction);
        return nullptr;
    }
    return transaction;
}

ZRB_API uint8_t ZRB_I2cTransactionIsDone(const ZRB_I2cTransaction* transaction) {
    if (transaction == nullptr) return zrb::kNullPointer;
    return ZRB_GpioWaveformOutputDone(transaction->pPrivate->pinScl, transaction->pPrivate->trigger);
}

ZRB_API int ZRB_I2cProcessResponse(ZRB_I2cTransaction* transaction) {
    if (transaction == nullptr) return zrb::kNullPointer;
    int result = waitDoneOrTimeout(*transaction);
    if (result == zrb::kOk) result = decodeReadBytesOf(*transaction);
    if (result == zrb::kOk) result = decodeAcksOf(*transaction);
    if (result != zrb::kOk) ZRB_LOG_FAILURE(kI2cLog, result);
    return result;
}

ZRB_API int ZRB_I2cDumpVcd(const ZRB_I2cTransaction* transaction, const char* fileName) {
    if (transaction == nullptr) return zrb::kNullPointer;
    return ZRB_WaveformsDumpVcd2(transaction->pPrivate->sclCapture, transaction->pPrivate->sdaCapture,
                                 fileName);
}

ZRB_API int ZRB_I2cEnableCaptureFilter(int flag) {
    captureFilter = static_cast<std::uint8_t>(flag & 0xFF);
    return flag;
}

ZRB_API int ZRB_I2cGetBitTiming2(const ZRB_I2cTransaction* transaction, uint32_t index, double* timeNs) {
    if (transaction == nullptr) return zrb::kNullPointer;
    return ZRB_I2cGetBitTiming(transaction->pPrivate->stimuli, index, timeNs);
}

ZRB_API void ZRB_I2cTransactionFree(ZRB_I2cTransaction* transaction) {
    if (transaction == nullptr) return;
    ZRB_I2cStimuli* stimuli = transaction->pPrivate->stimuli;
    releaseTransaction(transaction);
    if (stimuli->references == 0) releaseStimuli(stimuli);
}

} // extern "C"
