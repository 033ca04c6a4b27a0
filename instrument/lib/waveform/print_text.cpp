#include "print_text.h"

#include "Waveform.h"

#include <boost/format.hpp>
#include <locale>

namespace zrb {

std::string printText(const Waveform& waveform, unsigned limit) {
    const auto& elements = waveform.Elements();
    const std::size_t shown = limit != 0 && elements.size() > limit ? limit : elements.size();
    // The classic locale keeps digit grouping of a global locale out of the text.
    boost::format item("[amp: %d; dur: %.0f; abs: %.0f] ", std::locale::classic());
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        const Waveform::Element& element = elements[i];
        text += (item % element.amplitude % element.duration % element.absTime).str();
    }
    if (shown < elements.size())
        text += (boost::format("...{%d more}", std::locale::classic()) % (elements.size() - shown)).str();
    return text;
}

} // namespace zrb
