// Tag records: their types, field-wise copies and the UID search.
#include "tag_records.h"

#include <gtest/gtest.h>

namespace board_link::test {
namespace {

Iso14443aRecord filledA() {
    Iso14443aRecord record(1, QByteArray("\x05\x78", 2));
    record.time = QTime(12, 34, 56, 789);
    record.index = 7;
    record.uid = QByteArray("\x04\x11\x22\x33", 4);
    record.atqa = QByteArray("\x44\x00", 2);
    record.sak = QByteArray("\x20", 1);
    return record;
}

void expectSameA(const Iso14443aRecord& a, const Iso14443aRecord& b) {
    EXPECT_EQ(a.time, b.time);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.index, b.index);
    EXPECT_EQ(a.uid, b.uid);
    EXPECT_EQ(a.atsSupported, b.atsSupported);
    EXPECT_EQ(a.ats, b.ats);
    EXPECT_EQ(a.atqa, b.atqa);
    EXPECT_EQ(a.sak, b.sak);
}

TEST(TagRecords, BareAndVariantRecordsStartAsSpecified) {
    const TagRecord bare;
    EXPECT_TRUE(bare.time.isNull());
    EXPECT_EQ(bare.type, QStringLiteral("XXX"));
    EXPECT_EQ(bare.index, 0);
    EXPECT_TRUE(bare.uid.isEmpty());

    const Iso14443aRecord a(0, {});
    EXPECT_EQ(a.type, QStringLiteral("ISO14443A"));
    EXPECT_TRUE(a.time.isNull());
    EXPECT_EQ(a.index, 0);
    EXPECT_EQ(a.atsSupported, 0);
    EXPECT_TRUE(a.ats.isEmpty() && a.atqa.isEmpty() && a.sak.isEmpty() && a.uid.isEmpty());

    const Iso14443bRecord b;
    EXPECT_EQ(b.type, QStringLiteral("ISO14443B"));
    EXPECT_TRUE(b.protocolInfo.isEmpty() && b.applicationData.isEmpty());
}

TEST(TagRecords, CopyAndAssignmentKeepEveryField) {
    const Iso14443aRecord original = filledA();
    const Iso14443aRecord copy(original);
    expectSameA(copy, original);
    Iso14443aRecord assigned(0, {});
    assigned = original;
    expectSameA(assigned, original);

    Iso14443bRecord b;
    b.time = QTime(1, 2, 3);
    b.index = 3;
    b.uid = QByteArray("\x01\x02\x03\x04", 4);
    b.applicationData = QByteArray("\x05\x06\x07\x08", 4);
    b.protocolInfo = QByteArray("\x09\x0A\x0B", 3);
    Iso14443bRecord bAssigned;
    bAssigned = b;
    for (const Iso14443bRecord& r : {Iso14443bRecord(b), bAssigned}) {
        EXPECT_EQ(r.time, b.time);
        EXPECT_EQ(r.type, b.type);
        EXPECT_EQ(r.index, b.index);
        EXPECT_EQ(r.uid, b.uid);
        EXPECT_EQ(r.applicationData, b.applicationData);
        EXPECT_EQ(r.protocolInfo, b.protocolInfo);
    }
}

TEST(TagRecords, UidSearchMatchesOnlyTheSameLengthAndBytes) {
    QList<Iso14443aRecord> records;
    EXPECT_FALSE(hasUid(records, QByteArray()));
    records.append(filledA()); // 04 11 22 33
    Iso14443aRecord empty(0, {});
    records.append(empty);
    struct Case {
        QByteArray uid;
        bool found;
    };
    for (const Case& c :
         {Case{QByteArray("\x04\x11\x22\x33", 4), true}, Case{QByteArray("\x04\x11\x22", 3), false},
          Case{QByteArray("\x04\x11\x22\x33\x00", 5), false}, Case{QByteArray("\x04\x11\x22\x34", 4), false},
          Case{QByteArray(), true}})
        EXPECT_EQ(hasUid(records, c.uid), c.found) << c.uid.toHex().toStdString();
    records.removeLast();
    EXPECT_FALSE(hasUid(records, QByteArray()));
}

TEST(TagRecords, AnswerFieldsTakeOnlyBytesThatCame) {
    const std::vector<std::uint8_t> answer{1, 2, 3, 4, 5};
    EXPECT_EQ(answerField(answer, 1, 3), QByteArray("\x02\x03\x04", 3));
    EXPECT_EQ(answerField(answer, 3, 10), QByteArray("\x04\x05", 2));
    EXPECT_TRUE(answerField(answer, 5, 2).isEmpty());
    EXPECT_TRUE(answerField(answer, 9, 2).isEmpty());
    EXPECT_TRUE(answerField({}, 0, 2).isEmpty());
}

} // namespace
} // namespace board_link::test
