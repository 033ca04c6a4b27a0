#include "tag_records.h"

#include <algorithm>

namespace board_link {

Iso14443aRecord::Iso14443aRecord(std::uint8_t supported, const QByteArray& answerToSelect)
    : atsSupported(supported), ats(answerToSelect) {
    type = QStringLiteral("ISO14443A");
}

Iso14443bRecord::Iso14443bRecord() {
    type = QStringLiteral("ISO14443B");
}

QByteArray answerField(const std::vector<std::uint8_t>& answer, std::size_t offset, std::size_t count) {
    if (offset >= answer.size()) return {};
    count = std::min(count, answer.size() - offset);
    return QByteArray(reinterpret_cast<const char*>(answer.data() + offset), static_cast<int>(count));
}

bool hasUid(const QList<Iso14443aRecord>& records, const QByteArray& uid) {
    return std::any_of(records.begin(), records.end(),
                       [&](const Iso14443aRecord& r) { return r.uid == uid; });
}

} // namespace board_link
