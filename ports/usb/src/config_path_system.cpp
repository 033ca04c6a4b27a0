// The shipped library reads its configuration from the system's directory.
#include "config_file.h"

const char* const vkusb::kConfigFilePath = "/etc/varek/vkusb.conf";
