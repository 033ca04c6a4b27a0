// The simulated-bus build reads its configuration from the working directory, so
// that each test process can bring its own file.
#include "config_file.h"

const char* const vkusb::kConfigFilePath = "vkusb.conf";
