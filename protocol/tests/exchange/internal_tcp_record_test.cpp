// The reader's TCP disconnection handler, with a stand-in TCP library that keeps
// the handlers registered with it and fires disconnections on demand.
#include "internal_fixture.h"
#include "loaded_library.h"
#include "security/crypto_plugin.h"

#include <atomic>
#include <string>

namespace {

using CountFn = int (*)(int);
using FireFn = void (*)(int);
using LogFn = int (*)(char*, int);

class CountedCipher : public VKKRN_CryptoPlugIn {
  public:
    explicit CountedCipher(std::atomic<int>* alive) : alive_(alive) { ++*alive_; }
    ~CountedCipher() override { --*alive_; }
    int get_rand(unsigned char*, int) override { return -1; }
    int encipher(const unsigned char*, int, unsigned char*, int&) override { return -4093; }
    int decipher(const unsigned char*, int, unsigned char*, int&) override { return -4094; }

  private:
    std::atomic<int>* alive_;
};

class TcpRecord : public InternalTest {
  protected:
    std::string log() {
        char text[4096] = {};
        logFn(text, sizeof text);
        return text;
    }

    LoadedLibrary tcp{"libvktcp.so"};
    CountFn handlers = tcp.symbol<CountFn>("FAKE_TcpHandlerCount");
    FireFn fire = tcp.symbol<FireFn>("FAKE_TcpFireDisconnect");
    LogFn logFn = tcp.symbol<LogFn>("FAKE_TcpLog");
};

constexpr int kSocket = 0x20000007;
constexpr int kOtherSocket = 0x20000009;

TEST_F(TcpRecord, OneRegistrationRemovedOnDelete) {
    int handle = 0;
    auto reader = newReader(kSocket, &handle);
    EXPECT_EQ(handlers(kSocket), 1);
    EXPECT_TRUE(reader->IsTcpRecordRegistered());
    EXPECT_EQ(reader->GetCommMode(), 2);
    reader.reset();
    EXPECT_EQ(VKKRN_DeleteReader(handle), 0);
    EXPECT_EQ(handlers(-1), 0);
    EXPECT_EQ(log(), "add:536870919;del:536870919;");
}

TEST_F(TcpRecord, ReadersWithoutTcpRegisterNothing) {
    for (int portHandle : {0, 1, VKKRN_PLUGIN, 0x30000001})
        newReader(portHandle);
    EXPECT_EQ(handlers(-1), 0);
    g_LibVkKrnDrvHnd.DeleteAllReaders();
    EXPECT_EQ(log(), "");
}

TEST_F(TcpRecord, DisconnectionEndsTheAuthenticatedChannel) {
    std::atomic<int> alive{0};
    auto reader = newReader(kSocket);
    reader->Cipher().store(std::make_shared<CountedCipher>(&alive));
    std::shared_ptr<VKKRN_CryptoPlugIn> inUse = reader->Cipher().load(); // an exchange running
    fire(kOtherSocket);
    EXPECT_TRUE(reader->Cipher().holds());
    fire(kSocket);
    EXPECT_FALSE(reader->Cipher().holds());
    EXPECT_EQ(alive.load(), 1); // the running exchange keeps its copy
    inUse.reset();
    EXPECT_EQ(alive.load(), 0);
    fire(kSocket); // again, without a cipher
    EXPECT_FALSE(reader->Cipher().holds());
}

TEST_F(TcpRecord, ChangingThePortMovesTheRegistration) {
    auto reader = newReader(kSocket);
    auto lock = reader->Lock();
    EXPECT_EQ(reader->SetCommMode(0), 0);
    EXPECT_FALSE(reader->IsTcpRecordRegistered());
    EXPECT_EQ(handlers(-1), 0);
    reader->SetPortHnd(kOtherSocket);
    EXPECT_EQ(reader->SetCommMode(2), 0);
    EXPECT_EQ(handlers(kOtherSocket), 1);
    reader->SetPortHnd(kSocket);
    EXPECT_EQ(reader->SetCommMode(2), 0);
    EXPECT_EQ(handlers(kOtherSocket), 0);
    EXPECT_EQ(handlers(kSocket), 1);
    EXPECT_EQ(reader->SetCommMode(7), 0); // an installed plug-in keeps it
    EXPECT_EQ(handlers(kSocket), 1);
    EXPECT_EQ(reader->SetCommMode(1), 0);
    EXPECT_EQ(handlers(-1), 0);
    EXPECT_EQ(log(), "add:536870919;del:536870919;add:536870921;del:536870921;add:536870919;"
                     "del:536870919;");
}

// Readers sharing one socket share one registration, and each disconnection
// reaches all of them; the last one to leave takes the registration along.
TEST_F(TcpRecord, ReadersSharingASocketAreAllTold) {
    std::atomic<int> alive{0};
    int first = 0;
    int second = 0;
    auto one = newReader(kSocket, &first);
    auto two = newReader(kSocket, &second);
    EXPECT_EQ(handlers(kSocket), 1);
    one->Cipher().store(std::make_shared<CountedCipher>(&alive));
    two->Cipher().store(std::make_shared<CountedCipher>(&alive));
    fire(kSocket);
    EXPECT_FALSE(one->Cipher().holds());
    EXPECT_FALSE(two->Cipher().holds());
    EXPECT_EQ(alive.load(), 0);

    two->Cipher().store(std::make_shared<CountedCipher>(&alive));
    one.reset();
    EXPECT_EQ(VKKRN_DeleteReader(first), 0);
    EXPECT_EQ(handlers(kSocket), 1) << "the second reader keeps the registration";
    fire(kSocket);
    EXPECT_FALSE(two->Cipher().holds()) << "and is still told";
    two.reset();
    EXPECT_EQ(VKKRN_DeleteReader(second), 0);
    EXPECT_EQ(handlers(-1), 0);
    EXPECT_EQ(log(), "add:536870919;fire:536870919;fire:536870919;del:536870919;");
}

TEST_F(TcpRecord, AReaderMovedToAnotherSocketLeavesTheOldFanOut) {
    std::atomic<int> alive{0};
    auto one = newReader(kSocket);
    auto two = newReader(kSocket);
    {
        auto lock = two->Lock();
        two->SetPortHnd(kOtherSocket);
        EXPECT_EQ(two->SetCommMode(2), 0);
    }
    EXPECT_EQ(handlers(kSocket), 1);
    EXPECT_EQ(handlers(kOtherSocket), 1);
    two->Cipher().store(std::make_shared<CountedCipher>(&alive));
    fire(kSocket);
    EXPECT_TRUE(two->Cipher().holds()) << "the old socket's disconnection no longer reaches it";
    fire(kOtherSocket);
    EXPECT_FALSE(two->Cipher().holds());
}

} // namespace
