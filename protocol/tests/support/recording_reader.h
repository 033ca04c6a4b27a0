// A reader on an installed recording plug-in that reaches the simulated reader
// through its in-process link: what a command hands the plug-in, and what the
// reader answers.
#ifndef VKKRN_TESTS_RECORDING_READER_H
#define VKKRN_TESTS_RECORDING_READER_H

#include "internal_fixture.h"
#include "sim_plugin.h"

#include <krnsim/reader.h>

class RecordingReader : public InternalTest {
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
