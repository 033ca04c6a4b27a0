// A module another module links: its name is reachable through that one.
extern "C" __attribute__((visibility("default"))) int loaderBaseOnly() {
    return 1;
}
