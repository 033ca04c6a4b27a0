// Port codes in log lines of USB and TCP readers, and PORTHND rebinding a
// reader, with stand-in port libraries whose texts name them and that keep the
// handlers registered with them.
#include "internal_fixture.h"
#include "loaded_library.h"

#include <vkcommon/port_handle.h>

#include <string>

namespace {

class PortTexts : public InternalTest {
  protected:
    std::shared_ptr<VKKRNReader> start(int portHnd) {
        writeFile("vkkrn.ini", "logfile;log_notimestamp");
        return newReader(portHnd);
    }
    // The log's receive lines (error lines carry a time stamp: left out).
    std::string log() const { return readFile("vkkrn_log.txt"); }
};

TEST_F(PortTexts, ReceiveLinesTakeTheTextByPortType) {
    struct Case {
        const char* what;
        int portHnd;
        int code;
        const char* line;
    };
    const int usb = vk::makePortHandle(vk::PortType::Usb, 1);
    const int tcp = vk::makePortHandle(vk::PortType::Tcp, 1);
    const Case cases[] = {
        {"USB", usb, -1130, "<<  Error: -1130  (FAKEUSB: (-1130))\r\n"},
        {"TCP", tcp, -1230, "<<  Error: -1230  (FAKETCP: (-1230))\r\n"},
        {"serial code on a TCP reader", tcp, -1030, "<<  Error: -1030  (FAKETCP: (-1030))\r\n"},
        {"USB system code on a TCP reader", tcp, static_cast<int>(0xE0000005u),
         "<<  Error: -536870907  (  FAKEUSB: (-536870907))\r\n"},
        {"USB system code, upper end", usb, static_cast<int>(0xE8001000u),
         "<<  Error: -402649088  (  FAKEUSB: (-402649088))\r\n"},
        {"just above the USB system codes", usb, static_cast<int>(0xE8001001u),
         "<<  Error: -402649087  ()\r\n"},
    };
    for (const auto& c : cases) {
        auto reader = start(c.portHnd);
        reader->RecProtStrToLogDoc(0, c.code, false, false);
        EXPECT_EQ(log(), c.line) << c.what;
        g_LibVkKrnDrvHnd.DeleteAllReaders();
        std::filesystem::remove(workDir() / "vkkrn_log.txt");
    }
}

TEST_F(PortTexts, EmptyUsbRepliesReadOk) {
    auto reader = start(vk::makePortHandle(vk::PortType::Usb, 1));
    reader->RecProtStrToLogDoc(0, 0, false, false);
    reader->RecProtStrToLogDoc(0, 0x84, false, false);
    EXPECT_EQ(log(), "<<  OK\r\n<<  \r\n");
}

TEST_F(PortTexts, ErrorLinesOfUsbAndTcpReaders) {
    auto reader = start(vk::makePortHandle(vk::PortType::Usb, 1));
    reader->ErrorStrToLogDoc(-1130);
    reader->ErrorStrToLogDoc(static_cast<int>(0xE0000005u));
    const std::string text = log();
    EXPECT_NE(text.find("  !!  Error: -1130  FAKEUSB: (-1130)\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  !!  Error: -536870907\r\n"), std::string::npos)
        << "no text outside the ranges: " << text;
}

TEST_F(PortTexts, PortHandleRebindsTheReader) {
    LoadedLibrary tcp{"libvktcp.so"};
    auto handlers = tcp.symbol<int (*)(int)>("FAKE_TcpHandlerCount");
    int handle = 0;
    auto reader = newReader(0, &handle);
    const int socket = vk::makePortHandle(vk::PortType::Tcp, 5);
    ASSERT_EQ(VKKRN_SetReaderPara(handle, "PORTHND", std::to_string(socket).c_str()), 0);
    EXPECT_EQ(reader->GetCommMode(), 2);
    EXPECT_EQ(reader->GetPortHnd(), socket);
    EXPECT_EQ(handlers(socket), 1) << "the disconnection handler is on the new socket";
    EXPECT_TRUE(reader->IsTcpRecordRegistered());
    // "0" leaves the plug-in and its registration; only the handle reads 0.
    ASSERT_EQ(VKKRN_SetReaderPara(handle, "PORTHND", "0"), 0);
    char value[16];
    ASSERT_EQ(VKKRN_GetReaderPara(handle, "PORTHND", value), 0);
    EXPECT_STREQ(value, "0");
    EXPECT_EQ(reader->GetCommMode(), 2);
    EXPECT_EQ(handlers(socket), 1);
    // A USB handle replaces the plug-in and drops the TCP registration.
    ASSERT_EQ(VKKRN_SetReaderPara(handle, "PORTHND",
                                  std::to_string(vk::makePortHandle(vk::PortType::Usb, 2)).c_str()),
              0);
    EXPECT_EQ(reader->GetCommMode(), 1);
    EXPECT_EQ(handlers(-1), 0);
    ASSERT_EQ(VKKRN_GetReaderPara(handle, "USBGENERATION", value), 0);
    EXPECT_TRUE(std::string(value) == "1" || std::string(value) == "2") << value;
}

} // namespace
