// Port codes in the log when the port library's text function cannot be bound.
#include "internal_fixture.h"

namespace {

using NoPortLibrary = InternalTest;

TEST_F(NoPortLibrary, ThePortTextCannotBeHadAndTheLineIsDropped) {
    writeFile("vkkrn.ini", "logfile");
    auto reader = newReader(1);
    reader->ErrorStrToLogDoc(-1030);
    EXPECT_EQ(reader->GetLastError(), -4002);
    reader->SetLastError(0);
    reader->RecProtStrToLogDoc(0, -1030, false, false);
    EXPECT_EQ(reader->GetLastError(), -4002);
    EXPECT_EQ(readFile("vkkrn_log.txt"), "");
}

} // namespace
