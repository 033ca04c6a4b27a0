#include "Waveforms.h"

#include "byte_sink.h"
#include "vcd_writer.h"
#include "waveform_log.h"

#include <algorithm>
#include <stdexcept>

Waveforms::Waveforms(std::vector<const Waveform*> waveforms) : waveforms_(std::move(waveforms)) {
    if (waveforms_.size() > kMaxWaveforms) throw std::invalid_argument("Too many waveforms for one VCD file");
    if (std::find(waveforms_.begin(), waveforms_.end(), nullptr) != waveforms_.end())
        throw std::invalid_argument("No waveform");
    ZRB_LOG(zrb::kWaveformsLog, ZLOG_LEVEL_DEBUG, "Created a containers of %d waveforms",
            static_cast<int>(waveforms_.size()));
}

void Waveforms::DumpVcd(const std::string& fileName) const {
    zrb::FileSink sink(fileName);
    zrb::writePairVcd(waveforms_, sink);
    sink.close();
    ZRB_LOG(zrb::kWaveformsLog, ZLOG_LEVEL_INFO, "Dumped waveforms in VCD file \"%s\"", fileName.c_str());
}
