// The transceive engine on a plug-in reader whose plug-in reaches the simulated
// reader in-process; the secured wrap with the fake cipher in the reader's
// cipher slot and the simulator on the same keystream.
#include "fake_cipher.h"
#include "fake_keystream.h"
#include "sim_plugin_reader.h"

#include <krnsim/frame.h>
#include <krnsim/keystream.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;
using krnsim::Fault;
using vkkrn::testing::FakeCipher;

struct Event {
    int event;
    int value;
    std::string text;
};

class Engine : public SimPlugInReaderTest {
  protected:
    void SetUp() override {
        SimPlugInReaderTest::SetUp();
        if (HasFatalFailure()) return;
        reader_->SetNotificationObserver([this](int event, const unsigned char* data, int len, int value) {
            std::string text;
            if (event == 2 || event == 3 || event == 101)
                text.assign(reinterpret_cast<const char*>(data), len);
            events_.push_back({event, value, text});
        });
        sim_.setHandler(0xB2, [](const krnsim::Request& r, krnsim::ConnectionContext&) {
            return krnsim::Reply::frame(0x00, r.data);
        });
    }

    struct Result {
        int rc = 0;
        int len = 0;
        bool parsing = true;
        Bytes data;
    };

    Result transceive(std::uint8_t adr, std::uint8_t cmd, const Bytes& data = {}, void* record = nullptr) {
        auto lock = reader_->Lock();
        Result r;
        if (!data.empty()) std::memcpy(reader_->DataBuffer(), data.data(), data.size());
        r.len = static_cast<int>(data.size());
        r.rc = reader_->Exe_Transceive(adr, cmd, 0, record, &r.len, &r.parsing);
        if (r.len > 0) r.data.assign(reader_->DataBuffer(), reader_->DataBuffer() + r.len);
        return r;
    }

    Bytes lastReceived() {
        std::vector<unsigned char> out(2 * 0x10001 + 1);
        const int n = reader_->GetLastRecProt(out.data(), 0);
        return Bytes(out.begin(), out.begin() + (n > 0 ? n : 0));
    }

    int countEvents(int event, const std::string& containing = "") const {
        int n = 0;
        for (const Event& e : events_)
            n += e.event == event && e.text.find(containing) != std::string::npos;
        return n;
    }

    std::vector<Event> events_;
};

TEST_F(Engine, RepliesAndChecksInBothFrameForms) {
    const Bytes version = krnsim::ReaderModel::defaultVersion();
    struct Case {
        const char* name;
        std::uint8_t adr;
        const char* checkBusAddress;
        std::optional<Fault> fault;
        int expected;
        int len;
    };
    const Case cases[] = {
        {"status 0", 1, "0", std::nullopt, 0, 9},
        {"bad CRC", 1, "0", Fault::badCrc(), -4031, 0},
        {"wrong command: the reply is kept", 1, "0", Fault::wrongCommand(0x66), -4035, 9},
        {"other bus address", 1, "1", Fault::wrongAddress(2), -4037, 9},
        {"other bus address to 254", 0xFE, "1", Fault::wrongAddress(2), 0, 9},
        {"other bus address to 255", 0xFF, "1", Fault::wrongAddress(2), 0, 9},
        {"other bus address, unchecked", 1, "0", Fault::wrongAddress(2), 0, 9},
        {"short reply", 1, "0", Fault::raw({0x03, 0x01, 0x65}), -4030, 0},
        {"silence", 1, "0", Fault::silence(), -4030, 0},
    };
    for (const char* form : {"STANDARD", "ADVANCED"}) {
        ASSERT_EQ(reader_->SetReaderPara("FRAMESUPPORT", form), 0);
        for (const Case& c : cases) {
            ASSERT_EQ(reader_->SetReaderPara("CHKRECBUSADR", c.checkBusAddress), 0);
            if (c.fault) sim_.queueFault(*c.fault);
            const Result r = transceive(c.adr, 0x65);
            EXPECT_EQ(r.rc, c.expected) << form << " " << c.name;
            EXPECT_EQ(r.len, c.len) << form << " " << c.name;
            EXPECT_EQ(reader_->GetLastError(), c.expected) << form << " " << c.name;
            if (c.len == 9) {
                EXPECT_EQ(r.data, version) << form << " " << c.name;
            }
        }
        const Result unknown = transceive(1, 0x99);
        EXPECT_EQ(unknown.rc, 0x80) << "a status above 0 is returned as it is";
        EXPECT_EQ(unknown.len, 0);
        EXPECT_EQ(reader_->GetLastError(), 0);
    }
    EXPECT_EQ(sim_.log().entries().back().form, krnsim::Form::Advanced) << "the frame mode reached the wire";
}

TEST_F(Engine, PlugInStepsAndTheirResults) {
    struct Case {
        const char* name;
        PlugInScript script;
        int expected;
        int len;
        bool parsing;
    };
    std::vector<Case> cases;
    cases.push_back({"library does everything", {}, 0, 2, true});
    {
        PlugInScript s;
        s.buildDatastream = 3;
        cases.push_back({"plug-in request data", s, 0, 3, true});
    }
    {
        PlugInScript s;
        s.buildProtocol = 7;
        s.ownFrame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0xB2, Bytes{0xAB, 0xCD});
        cases.push_back({"plug-in frame", s, 0, 2, true});
    }
    {
        PlugInScript s;
        s.splitProtocol = 5;
        s.splitLength = 4;
        cases.push_back({"plug-in split", s, 5, 4, true});
    }
    {
        PlugInScript s;
        s.splitDatastream = 2;
        cases.push_back({"split_datastream takes the data", s, 0, 2, false});
    }
    {
        PlugInScript s;
        s.splitDatastream = 1;
        cases.push_back({"split_datastream not the length", s, -4066, 2, true});
    }
    {
        PlugInScript s;
        s.splitDatastream = -4099;
        cases.push_back({"split_datastream fails", s, -4099, 2, true});
    }
    {
        PlugInScript s;
        s.buildDatastream = -4063;
        cases.push_back({"build_datastream fails", s, -4063, 2, true});
    }
    {
        PlugInScript s;
        s.transceive = 0;
        cases.push_back({"no byte from the port", s, -4030, 0, true});
    }
    {
        PlugInScript s;
        s.transceive = -1237;
        cases.push_back({"port code", s, -1237, 0, true});
    }
    {
        PlugInScript s;
        s.buildDatastream = 0x10002;
        cases.push_back({"request data beyond the buffer", s, -4063, 2, true});
    }
    {
        PlugInScript s;
        s.buildProtocol = 0x10002;
        cases.push_back({"frame beyond the buffer", s, -4064, 2, true});
    }
    {
        PlugInScript s;
        s.transceive = 0x10002;
        cases.push_back({"reply beyond the buffer", s, -4070, 0, true});
    }
    {
        PlugInScript s;
        s.splitLength = 0x10002;
        cases.push_back({"split length beyond the buffer", s, -4065, 0, true});
    }
    {
        PlugInScript s;
        s.splitLength = -2;
        cases.push_back({"negative split length", s, -4065, 0, true});
    }
    for (Case& c : cases) {
        script_ = c.script;
        const Result r = transceive(1, 0xB2, {0x11, 0x22});
        EXPECT_EQ(r.rc, c.expected) << c.name;
        EXPECT_EQ(r.len, c.len) << c.name;
        EXPECT_EQ(r.parsing, c.parsing) << c.name;
        EXPECT_EQ(reader_->GetLastError(), c.expected < 0 ? c.expected : 0) << c.name;
    }
    script_ = {};
    script_.buildDatastream = 3;
    const Result r = transceive(1, 0xB2, {0x11, 0x22});
    EXPECT_EQ(r.data, (Bytes{0xD0, 0xD1, 0xD2})) << "the plug-in's request data reached the reader";
}

TEST_F(Engine, SubPlugInsServeTheirCommandOnly) {
    PlugInScript subScript;
    auto* sub = new SimPlugIn(sim_, subScript, "sub");
    plugIn_->subPlugInMap[0xB2] = sub;
    plugIn_->subPlugInMap[0x66] = nullptr;
    EXPECT_EQ(transceive(1, 0xB2, {1}).rc, 0);
    EXPECT_EQ(transceive(1, 0x65).rc, 0);
    EXPECT_EQ(transceive(1, 0x66, {0}).rc, -4002);
    EXPECT_EQ(reader_->GetLastError(), -4002);
    EXPECT_EQ(sub->steps.size(), 5u);
    EXPECT_EQ(sub->steps.front(), "sub:build_datastream");
    EXPECT_EQ(plugIn_->steps.size(), 5u) << "0x65 only";
    plugIn_->subPlugInMap.erase(0x66);
}

TEST_F(Engine, NoPlugInOrNoLength) {
    {
        auto lock = reader_->Lock();
        EXPECT_EQ(reader_->Exe_Transceive(1, 0x65, 0, nullptr, nullptr, nullptr), -4002);
    }
    EXPECT_EQ(countEvents(101, "-4002"), 0) << "no log switched on";
    EXPECT_EQ(reader_->PlugIn_Remove(), 0);
    EXPECT_EQ(transceive(1, 0x65).rc, -4060);
    EXPECT_EQ(reader_->GetLastError(), -4060);
}

TEST_F(Engine, ProtocolLinesOfAnExchange) {
    ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    EXPECT_EQ(transceive(1, 0x65).rc, 0);
    ASSERT_EQ(events_.size(), 4u);
    EXPECT_EQ(events_[0].event, 2);
    EXPECT_NE(events_[0].text.find("05 01 65 FD 2D"), std::string::npos) << events_[0].text;
    EXPECT_EQ(events_[2].event, 3);
    EXPECT_EQ(events_[3].event, 6);
    events_.clear();
    sim_.queueFault(Fault::silence());
    EXPECT_EQ(transceive(1, 0x65).rc, -4030);
    ASSERT_EQ(events_.size(), 3u) << "send text, send frame, receive line without a frame";
    EXPECT_EQ(events_[2].event, 3);
    EXPECT_EQ(events_[2].value, -4030);
}

// ---- The secured wrap --------------------------------------------------------

class Secured : public Engine {
  protected:
    void SetUp() override {
        Engine::SetUp();
        reader_->Cipher().store(cipher_);
        sim_.startSecuredChannel();
        ASSERT_EQ(reader_->SetReaderPara("LOGPROT", "1"), 0);
    }
    std::shared_ptr<FakeCipher> cipher_ = std::make_shared<FakeCipher>();
};

TEST_F(Secured, TheSimulatorAndTheFakeCipherShareOneKeystream) {
    for (std::uint32_t block : {0u, 1u, 7u, 200u})
        for (std::size_t j = 0; j < 16; ++j)
            ASSERT_EQ(krnsim::keystreamByte(block, j), vkkrn::testing::fakeKeystreamByte(block, j)) << block;
}

TEST_F(Secured, ExchangesAroundBlockBoundariesTravelWrapped) {
    for (const std::size_t n : {0u, 1u, 10u, 11u, 12u, 26u, 27u, 28u, 200u, 300u, 2000u}) {
        const Bytes data(n, static_cast<std::uint8_t>(n));
        sim_.log().clear();
        events_.clear();
        const Result r = transceive(1, 0xB2, data);
        ASSERT_EQ(r.rc, 0) << n;
        EXPECT_EQ(r.data, data) << n;
        const auto entries = sim_.log().entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_TRUE(entries[0].secured) << n;
        EXPECT_EQ(entries[0].data, data) << n;
        EXPECT_EQ(sim_.keystreamBlock(), cipher_->nextBlock()) << n;
        EXPECT_EQ(countEvents(2, "(S) "), 1) << "one plain send line, marked secured";
        EXPECT_EQ(countEvents(3, "(S) "), 1);
        EXPECT_EQ(plugIn_->sent.back()[plugIn_->sent.back()[0] == 0x02 ? 4 : 2], 0xAF);
    }
}

TEST_F(Secured, NotAvailableEndsTheChannelAndTheRequestGoesAgainInPlain) {
    sim_.queueSecuredStatus(0x82);
    const Result r = transceive(1, 0x65);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.data, krnsim::ReaderModel::defaultVersion());
    EXPECT_FALSE(reader_->Cipher().holds());
    EXPECT_EQ(countEvents(2), 2) << "two send lines";
    EXPECT_EQ(plugIn_->sent.size(), 2u);
    EXPECT_EQ(plugIn_->sent[1], krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {}));
}

TEST_F(Secured, Status0x19ComesUnderTheRequestsCommandWithoutData) {
    sim_.queueSecuredStatus(0x19);
    const Result r = transceive(1, 0x65);
    EXPECT_EQ(r.rc, 0x19);
    EXPECT_EQ(r.len, 0);
    EXPECT_EQ(reader_->GetLastError(), 0);
    EXPECT_EQ(lastReceived(), krnsim::buildReply(krnsim::Form::Standard, 1, 0x65, 0x19, {}));
    EXPECT_TRUE(reader_->Cipher().holds());
    EXPECT_EQ(sim_.keystreamBlock(), cipher_->nextBlock()) << "the reply was not deciphered";
    EXPECT_EQ(transceive(1, 0x65).rc, 0) << "still in step";
}

TEST_F(Secured, FailuresKeepTheChannelOrSendNothing) {
    sim_.queueFault(Fault::wrongCommand(0x65).onlyCommand(0xAF));
    EXPECT_EQ(transceive(1, 0x65).rc, -4035);
    EXPECT_TRUE(reader_->Cipher().holds()) << "a reply that is not 0xAF keeps the channel";

    sim_.endSecuredChannel();
    sim_.startSecuredChannel();
    cipher_ = std::make_shared<FakeCipher>();
    reader_->Cipher().store(cipher_);
    cipher_->failNextCall(-4093);
    const std::size_t sentBefore = plugIn_->sent.size();
    const Result enciphering = transceive(1, 0x65);
    EXPECT_EQ(enciphering.rc, -4093);
    EXPECT_EQ(plugIn_->sent.size(), sentBefore) << "nothing sent";
    EXPECT_EQ(countEvents(101, "-4093"), 1);

    script_.beforeReply = [this] { cipher_->failNextCall(-4094); };
    const Result deciphering = transceive(1, 0x65);
    EXPECT_EQ(deciphering.rc, -4094);
    EXPECT_EQ(deciphering.len, 0) << "no data out";
    EXPECT_EQ(reader_->GetLastError(), -4094);
}

TEST_F(Secured, TheDisconnectionHandlerEndsTheChannel) {
    VKKRNReader::cbsTcpEvent(nullptr, 0, 2, 0); // no reader: nothing happens
    EXPECT_TRUE(reader_->Cipher().holds());
    VKKRNReader::cbsTcpEvent(reader_.get(), 0x20000001, 2, 0);
    EXPECT_FALSE(reader_->Cipher().holds());
    sim_.endSecuredChannel();
    EXPECT_EQ(transceive(1, 0x65).rc, 0);
    EXPECT_EQ(plugIn_->sent.back(), krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {})) << "in plain";
    EXPECT_EQ(countEvents(2, "(S) "), 0);
}

TEST_F(Secured, TransparentTrio) {
    Bytes frame = krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {});
    std::vector<unsigned char> rx(256);
    const Bytes plainReply =
        krnsim::buildReply(krnsim::Form::Standard, 1, 0x65, 0, krnsim::ReaderModel::defaultVersion());
    EXPECT_EQ(reader_->Exe_SendTransparent(frame.data(), 5, rx.data(), 256, 0, 0),
              static_cast<int>(plainReply.size()));
    EXPECT_EQ(Bytes(rx.begin(), rx.begin() + static_cast<long>(plainReply.size())), plainReply);
    EXPECT_EQ(plugIn_->sent.back()[2], 0xAF) << "wrapped";
    EXPECT_EQ(sim_.keystreamBlock(), cipher_->nextBlock());

    sim_.queueSecuredStatus(0x19);
    const Bytes status19 = krnsim::buildReply(krnsim::Form::Standard, 1, 0x65, 0x19, {});
    EXPECT_EQ(reader_->Exe_SendTransparent(frame.data(), 5, rx.data(), 256, 0, 0),
              static_cast<int>(status19.size()));
    EXPECT_EQ(Bytes(rx.begin(), rx.begin() + static_cast<long>(status19.size())), status19);
    EXPECT_EQ(sim_.keystreamBlock(), cipher_->nextBlock()) << "not deciphered";

    script_.pushed.push_back(sim_.securedFrame(0x22, 0x00, Bytes{1, 2, 3}));
    const Bytes pushed = krnsim::buildReply(krnsim::Form::Standard, 1, 0x22, 0, Bytes{1, 2, 3});
    EXPECT_EQ(reader_->Exe_Receive(rx.data(), 256, 0), static_cast<int>(pushed.size()));
    EXPECT_EQ(Bytes(rx.begin(), rx.begin() + static_cast<long>(pushed.size())), pushed);

    EXPECT_EQ(reader_->Exe_Transmit(frame.data(), 5, 0, 0), 0);
    EXPECT_EQ(plugIn_->sent.back()[2], 0xAF) << "transmitted wrapped";
    sim_.exchange(plugIn_->sent.back()); // the simulator keeps in step

    sim_.queueSecuredStatus(0x82);
    EXPECT_EQ(reader_->Exe_SendTransparent(frame.data(), 5, rx.data(), 256, 0, 0),
              static_cast<int>(plainReply.size()));
    EXPECT_FALSE(reader_->Cipher().holds());
    EXPECT_EQ(plugIn_->sent.back(), frame) << "then in plain";
}

} // namespace
