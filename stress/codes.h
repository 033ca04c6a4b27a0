// What each library family documents as its results. Its header gives the
// range of its own codes and of the codes it passes on from the libraries
// below it; its error table (read through its exported error-text function)
// names every code it gives. A negative result is documented when it lies in
// one of the ranges and the text function knows it.
#ifndef VKSTRESS_CODES_H
#define VKSTRESS_CODES_H

#include <string_view>
#include <vector>

namespace vkstress {

enum class Family { Com, Tcp, Usb, Krn, Tcl };

std::string_view familyName(Family family);

struct CodeBook {
    using TextFn = int (*)(int code, char* text);
    struct Range {
        int low;
        int high;
    };

    std::string_view library;
    std::vector<Range> ranges;
    // 0 when the library has a text of its own for the code. Null until the
    // library is loaded (libvkusb is opened by the family itself).
    TextFn text = nullptr;

    bool inRange(int code) const;
};

CodeBook codeBook(Family family);

} // namespace vkstress

#endif
