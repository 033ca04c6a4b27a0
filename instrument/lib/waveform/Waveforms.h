// A container of waveform pointers dumped side by side as one VCD; it copies
// the list but owns none of the waveforms.
#ifndef ZRB_WAVEFORM_WAVEFORMS_H
#define ZRB_WAVEFORM_WAVEFORMS_H

#include <string>
#include <vector>

class Waveform;

class Waveforms {
  public:
    // At most kMaxWaveforms, so that every identifier stays a printable
    // character; std::invalid_argument beyond, or for a null pointer.
    explicit Waveforms(std::vector<const Waveform*> waveforms);

    static constexpr std::size_t kMaxWaveforms = 92;

    const std::vector<const Waveform*>& List() const { return waveforms_; }

    // Writes the VCD to `fileName`; std::system_error when the file cannot be
    // opened or written.
    void DumpVcd(const std::string& fileName) const;

  private:
    std::vector<const Waveform*> waveforms_;
};

#endif
