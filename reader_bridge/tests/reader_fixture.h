// The dongle reader and the natives' logic against the dongle model behind the
// simulated hidapi. Each case runs in its own process and its own working
// directory; it ends with no current reader and no open device.
#ifndef KESTOREADER_TESTS_READER_FIXTURE_H
#define KESTOREADER_TESTS_READER_FIXTURE_H

#include "dongle_fixture.h"
#include "kesto_reader.h"
#include "qm30.h"

#include <hidsim/hidsim.h>
#include <qm30sim/qm30_model.h>
#include <vktesting/temp_dir.h>

#include <memory>
#include <string>
#include <vector>

namespace kestoreader_test {

// The dongle model, except that its answer to the n-th output report (1-based,
// counted from plugging or the last `answerCode`) carries another result code.
class ScriptedDongle : public hidsim::Model {
  public:
    std::vector<hidsim::Report> output(std::span<const std::uint8_t> report, std::size_t unread) override;
    void answerCode(int nth, std::uint8_t code);

    qm30sim::Qm30Model firmware;

  private:
    int seen_ = 0;
    int nth_ = 0;
    std::uint8_t code_ = 0;
};

class ReaderTest : public vktesting::TempDirTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs the dongle in; its call record starts empty.
    void plugDongle();
    // Plugs the dongle in and connects a reader through the natives.
    void connectDongle();
    // Output reports since the record was cleared, as hex of their first `n` bytes.
    std::vector<std::string> written(std::size_t n = 8) const;

    std::shared_ptr<ScriptedDongle> dongle;
    int device = 0;
};

} // namespace kestoreader_test

#endif
