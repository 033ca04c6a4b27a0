// Fixture of the internal tests on a reader whose installed plug-in reaches the
// simulated reader in-process (SimPlugIn).
#ifndef VKKRN_TESTS_SIM_PLUGIN_READER_H
#define VKKRN_TESTS_SIM_PLUGIN_READER_H

#include "internal_fixture.h"
#include "sim_plugin.h"

#include <krnsim/reader.h>

#include <memory>

class SimPlugInReaderTest : public InternalTest {
  protected:
    void SetUp() override {
        InternalTest::SetUp();
        reader_ = newReader(VKKRN_PLUGIN, &handle_);
        ASSERT_NE(reader_, nullptr);
        plugIn_ = new SimPlugIn(sim_, script_);
        ASSERT_EQ(reader_->PlugIn_Install(plugIn_), 0);
    }

    krnsim::Reader sim_;
    PlugInScript script_;
    SimPlugIn* plugIn_ = nullptr; // owned by the reader once installed
    std::shared_ptr<VKKRNReader> reader_;
    int handle_ = 0;
};

#endif
