// A module exporting one bare name, linking the base module.
extern "C" int loaderBaseOnly();

extern "C" __attribute__((visibility("default"))) int bareName(int value) {
    return loaderBaseOnly() + value;
}
