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

TEST_F(NoPortLibrary, ALineOfCode4002NamesThePortLibraryWithTheLoadersReason) {
    writeFile("vkkrn.ini", "logfile");
    // Making a reader on a TCP handle asks libvktcp.so for the socket's details.
    auto reader = newReader(0x20000001);
    reader->ErrorStrToLogDoc(-4002);
    reader->RecProtStrToLogDoc(0, -4002, false, false);
    const std::string log = readFile("vkkrn_log.txt");
    const std::string text =
        "VKKRN: (-4002) an internal pointer is NULL (libvktcp.so: cannot open shared object file";
    EXPECT_NE(log.find("  !!  Error: -4002  " + text), std::string::npos) << log;
    EXPECT_NE(log.find("  <<  Error: -4002  (  " + text), std::string::npos) << log;
    // Other codes keep their text alone.
    reader->ErrorStrToLogDoc(-4050);
    EXPECT_EQ(readFile("vkkrn_log.txt").find("(libvktcp.so", log.size()), std::string::npos);
}

} // namespace
