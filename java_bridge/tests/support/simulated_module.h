// A JVM test fixture with a reader module connected to a simulated KRN reader:
// Java's Init makes the module, Java's ConnectTCP connects it to a
// krnsim::Simulator listening on 127.0.0.1 (a port the kernel picks). The
// module is destroyed through Java's Destroy before the simulator stops.
#ifndef VKBRIDGE_SIMULATED_MODULE_H
#define VKBRIDGE_SIMULATED_MODULE_H

#include "bridge_call.h"

#include <krnsim/simulator.h>
#include <vkdm/vkdm_core.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <vector>

namespace vkbridge {

class SimulatedModuleTest : public ::testing::Test {
  protected:
    // Init and ConnectTCP; a failure of either fails the test.
    void SetUp() override;
    // Destroys every module made here.
    void TearDown() override;

    // A further module (Init), connected to the simulator when `connect`;
    // destroyed at the end of the test. 0 after a failure.
    int addModule(bool connect = true);
    // ConnectTCP(handle, "127.0.0.1", port) as Java calls it (port 0: the
    // simulator's endpoint).
    Outcome connectTcp(int moduleHandle, int port = 0);
    // The core's object behind a module handle (null when not listed).
    static VKDM_KRNReaderModule* coreModule(int moduleHandle);
    VKDM_KRNReaderModule* core() const { return coreModule(handle); }

    JNIEnv* env = nullptr;
    krnsim::Simulator simulator;
    krnsim::TcpEndpoint endpoint;
    int handle = 0; // the connected module

  private:
    std::vector<int> modules_;
};

} // namespace vkbridge

#endif
