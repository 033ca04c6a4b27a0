// Records of the tags the ISO 14443-A and -B selects find. A record lives for
// the one call that makes it; copies and assignments take every field.
#ifndef BOARD_LINK_TAG_RECORDS_H
#define BOARD_LINK_TAG_RECORDS_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTime>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace board_link {

// The part every record has. The time and the index are set by no operation.
struct TagRecord {
    QTime time;
    QString type = QStringLiteral("XXX");
    int index = 0;
    QByteArray uid; // the UID, or the PUPI of an ISO 14443-B tag
};

struct Iso14443aRecord : TagRecord {
    Iso14443aRecord(std::uint8_t atsSupported, const QByteArray& ats);

    std::uint8_t atsSupported = 0; // bit 0x20 of the SAK, when the SAK is stored
    QByteArray ats;
    QByteArray atqa; // 2 bytes
    QByteArray sak;
};

struct Iso14443bRecord : TagRecord {
    Iso14443bRecord();

    QByteArray protocolInfo;    // 3 bytes
    QByteArray applicationData; // 4 bytes
};

// At most `count` bytes of `answer` from `offset` on, as a record field.
QByteArray answerField(const std::vector<std::uint8_t>& answer, std::size_t offset, std::size_t count);

// Whether a record in `records` has `uid` (the same length and bytes).
bool hasUid(const QList<Iso14443aRecord>& records, const QByteArray& uid);

} // namespace board_link

#endif
