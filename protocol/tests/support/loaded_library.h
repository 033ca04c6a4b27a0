// The shared test helper, under the name these tests include it by.
#include <vktesting/loaded_library.h>
