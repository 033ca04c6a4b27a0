// An installed port plug-in that reaches the simulated reader through its
// in-process link, with every build and split step scriptable and recorded.
// In recording mode build_datastream also keeps what a command hands it: the
// command byte, the mode and a copy of its record (taken there: the record
// lives on the command's stack).
#ifndef VKKRN_TESTS_SIM_PLUGIN_H
#define VKKRN_TESTS_SIM_PLUGIN_H

#include <krnsim/reader.h>
#include <vkkrn_plugin.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct PlugInScript {
    int buildDatastream = 0;           // > 0: writes that many bytes 0xD0, 0xD1, ... as the request data
    int buildProtocol = 0;             // > 0: writes `ownFrame` (a result beyond it is returned as is)
    krnsim::Bytes ownFrame;            //
    std::optional<int> transceive;     // replaces the exchange's result (the reply is not read)
    int splitProtocol = 0;             // returned by split_protocol
    int splitLength = -1;              // written to *outLen unless -1
    int splitDatastream = 0;           // returned by split_datastream
    std::function<void()> beforeReply; // runs inside transceive_protocol, before the reply comes
    std::deque<krnsim::Bytes> pushed;  // what receive_protocol hands out, one frame each
};

// What build_datastream saw of one command.
struct RecordedCommand {
    std::uint8_t cmd = 0;
    int mode = 0;
    bool hasRecord = false;           // the command passed a record
    std::vector<std::uint8_t> record; // its first recordSize bytes

    // The record as the command's record type (sizeof(T) bytes must have been
    // recorded).
    template <typename T> T as() const {
        T out;
        if (record.size() >= sizeof(T)) std::memcpy(static_cast<void*>(&out), record.data(), sizeof(T));
        return out;
    }
};

class SimPlugIn : public VKKRN_PlugIn {
  public:
    SimPlugIn(krnsim::Reader& sim, PlugInScript& script, std::string name = "main")
        : sim_(sim), script_(script), name_(std::move(name)) {}

    // Recording mode: every command's byte, mode and first `recordSize` record
    // bytes go to `recorded`.
    void record(std::size_t recordSize) {
        recording_ = true;
        recordSize_ = recordSize;
    }

    int build_datastream(char cmd, void* record, int mode, char* dataOut, int) override {
        steps.push_back(name_ + ":build_datastream");
        if (recording_) {
            RecordedCommand r;
            r.cmd = static_cast<std::uint8_t>(cmd);
            r.mode = mode;
            r.hasRecord = record != nullptr;
            if (record != nullptr) {
                const auto* bytes = static_cast<const std::uint8_t*>(record);
                r.record.assign(bytes, bytes + recordSize_);
            }
            recorded.push_back(std::move(r));
        }
        for (int i = 0; i < script_.buildDatastream && i < 0x100; ++i)
            dataOut[i] = static_cast<char>(0xD0 + i);
        return script_.buildDatastream;
    }
    int build_protocol(char, char, char*, int, char* frameOut, int frameOutSize) override {
        steps.push_back(name_ + ":build_protocol");
        if (script_.buildProtocol > 0 && static_cast<int>(script_.ownFrame.size()) <= frameOutSize)
            std::memcpy(frameOut, script_.ownFrame.data(), script_.ownFrame.size());
        return script_.buildProtocol;
    }
    int transceive_protocol(char* frame, int frameLen, char* replyOut, int replyOutSize) override {
        steps.push_back(name_ + ":transceive_protocol");
        sent.emplace_back(frame, frame + frameLen);
        const krnsim::Bytes reply =
            sim_.exchange({reinterpret_cast<const std::uint8_t*>(frame), static_cast<std::size_t>(frameLen)})
                .bytes();
        if (script_.beforeReply) script_.beforeReply();
        if (script_.transceive) return *script_.transceive;
        const std::size_t n = std::min(reply.size(), static_cast<std::size_t>(replyOutSize));
        if (n > 0) std::memcpy(replyOut, reply.data(), n);
        return static_cast<int>(n);
    }
    int transmit_protocol(char* frame, int frameLen) override {
        steps.push_back(name_ + ":transmit_protocol");
        sent.emplace_back(frame, frame + frameLen);
        return 0;
    }
    int receive_protocol(char* replyOut, int replyOutSize) override {
        steps.push_back(name_ + ":receive_protocol");
        if (script_.pushed.empty()) return 0;
        const krnsim::Bytes frame = std::move(script_.pushed.front());
        script_.pushed.pop_front();
        const std::size_t n = std::min(frame.size(), static_cast<std::size_t>(replyOutSize));
        if (n > 0) std::memcpy(replyOut, frame.data(), n);
        return static_cast<int>(n);
    }
    int split_protocol(char, char, char*, int, char* dataOut, int, int* outLen) override {
        steps.push_back(name_ + ":split_protocol");
        if (script_.splitLength != -1) {
            *outLen = script_.splitLength;
            if (script_.splitLength > 0 && script_.splitLength < 0x100)
                std::memset(dataOut, 0xC5, static_cast<std::size_t>(script_.splitLength));
        }
        return script_.splitProtocol;
    }
    int split_datastream(char, char*, int, void*, int) override {
        steps.push_back(name_ + ":split_datastream");
        return script_.splitDatastream;
    }

    std::vector<std::string> steps;
    std::vector<krnsim::Bytes> sent;
    std::vector<RecordedCommand> recorded;

  private:
    bool recording_ = false;
    std::size_t recordSize_ = 0;
    krnsim::Reader& sim_;
    PlugInScript& script_;
    std::string name_;
};

#endif
