// Native event handlers through the exports of libvkkrn.so: registration
// rules, the routing table, order of delivery and calls back into the reader.
#include "sim_link.h"

#include <krnsim/frame.h>
#include <vkkrn.h>
#include <vkkrn_jni.h>
#include <vktesting/temp_dir.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using krnsim::Bytes;

struct Delivery {
    int handler;
    int event;
    int value;
    std::string data; // texts as they came; frames as bytes
    bool operator==(const Delivery&) const = default;
};

struct Recorder {
    std::vector<Delivery> deliveries;
};

struct Slot {
    Recorder* recorder;
    int handler;
};

void record7(void* any, unsigned char* data, int value, int event) {
    auto* slot = static_cast<Slot*>(any);
    std::string text;
    if (event == 5 || event == 6) {
        const int len = data[0] == 0x02 ? (data[1] << 8 | data[2]) : data[0];
        text.assign(reinterpret_cast<char*>(data), static_cast<std::size_t>(len));
    } else {
        text = reinterpret_cast<char*>(data);
    }
    slot->recorder->deliveries.push_back({slot->handler, event, value, text});
}

void record6(void* any, unsigned char* data, int value) {
    record7(any, data, value, -1);
}

_VKKRN_EVENT_INIT record(unsigned int use, unsigned int flag, void* any = nullptr) {
    _VKKRN_EVENT_INIT r{};
    r.pAny = any;
    r.uiUse = use;
    r.uiFlag = flag;
    if (flag == 6)
        r.callback.form6 = &record6;
    else
        r.callback.form7 = &record7;
    return r;
}

class Events : public vktesting::TempDirTest {
  protected:
    void SetUp() override {
        vktesting::TempDirTest::SetUp();
        link_ = std::make_unique<SimLink>(LinkKind::Tcp);
        reader_ = VKKRN_NewReader(link_->handle);
        ASSERT_GT(reader_, 0);
    }
    void TearDown() override {
        VKKRN_DeleteReader(reader_);
        link_.reset();
        vktesting::TempDirTest::TearDown();
    }
    int exchange(Bytes frame) {
        unsigned char rx[512];
        return VKKRN_SendTransparent(reader_, frame.data(), static_cast<int>(frame.size()), rx, sizeof rx, 0,
                                     0);
    }
    int lastError(int reader) {
        int code = 1;
        char text[256];
        VKKRN_GetLastError(reader, &code, text);
        return code;
    }

    std::unique_ptr<SimLink> link_;
    int reader_ = 0;
};

TEST_F(Events, EachHandlerGetsItsRoutedEventsInRegistrationOrder) {
    Recorder recorder;
    const unsigned int uses[] = {1, 2, 3, 5, 6, 101, 102, 7};
    std::vector<Slot> slots;
    slots.reserve(std::size(uses));
    for (std::size_t i = 0; i < std::size(uses); ++i) {
        slots.push_back({&recorder, static_cast<int>(uses[i])});
        auto r = record(uses[i], 7, &slots.back());
        ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0) << uses[i];
    }
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "SENDPROTTOAPP", "1"), 0);

    const Bytes request = krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {});
    const Bytes reply =
        krnsim::buildReply(krnsim::Form::Standard, 1, 0x65, 0, krnsim::ReaderModel::defaultVersion());
    ASSERT_EQ(exchange(request), static_cast<int>(reply.size()));
    const auto& d = recorder.deliveries;
    ASSERT_EQ(d.size(), 7u);
    const std::string sent(request.begin(), request.end());
    const std::string received(reply.begin(), reply.end());
    const std::vector<std::pair<int, int>> order = {{1, 2}, {2, 2}, {5, 5}, {102, 102},
                                                    {1, 3}, {3, 3}, {6, 6}};
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(d[i].handler, order[i].first) << i;
        EXPECT_EQ(d[i].event, order[i].second) << i;
    }
    EXPECT_NE(d[0].data.find("05 01 65 FD 2D"), std::string::npos) << d[0].data;
    EXPECT_EQ(d[0].value, 0);
    EXPECT_EQ(d[2].data, sent);
    EXPECT_EQ(d[3].data.substr(0, 14), "05 01 65 FD 2D");
    EXPECT_EQ(d[4].value, 0) << "the reply's status";
    EXPECT_EQ(d[6].data, received);

    // A failure before anything is sent: its error line, to 1, 2, 3 and 101.
    recorder.deliveries.clear();
    unsigned char odd[] = "05016";
    unsigned char rx[16];
    EXPECT_EQ(VKKRN_SendTransparent(reader_, odd, 5, rx, sizeof rx, 0, 1), -4052);
    ASSERT_EQ(d.size(), 4u);
    const int errorHandlers[] = {1, 2, 3, 101};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(d[i].handler, errorHandlers[i]);
        EXPECT_EQ(d[i].event, 101);
        EXPECT_EQ(d[i].value, -4052);
        EXPECT_NE(d[i].data.find("-4052"), std::string::npos) << d[i].data;
    }
}

TEST_F(Events, DuplicatesAndRemoval) {
    Recorder recorder;
    Slot first{&recorder, 1};
    Slot second{&recorder, 2};
    auto a = record(5, 6, &first);
    auto b = record(5, 6, &second);
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &a), 0);
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &b), 0) << "the same flag, use and callback: kept once";
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
    ASSERT_GT(exchange(krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {})), 0);
    ASSERT_EQ(recorder.deliveries.size(), 1u);
    EXPECT_EQ(recorder.deliveries[0].handler, 1) << "the first record's pAny";
    EXPECT_EQ(recorder.deliveries[0].event, -1) << "form 6 has no event argument";

    struct Case {
        _VKKRN_EVENT_INIT r;
        int expected;
    };
    const Case cases[] = {
        {record(5, 7, &first), -4050}, // another flag
        {record(6, 6, &first), -4050}, // another use
        {record(5, 1), -4054},         {record(5, 9), -4050},
        {record(5, 6, &second), 0}, // pAny is not compared
        {record(5, 6, &first), -4050},
    };
    for (const Case& c : cases) {
        auto r = c.r;
        EXPECT_EQ(VKKRN_DelEventHandler(reader_, &r), c.expected);
        EXPECT_EQ(lastError(reader_), c.expected);
    }
}

TEST_F(Events, FlagClassesAndScanDataPerPortAndForm) {
    SimLink serial(LinkKind::Pty);
    const int serialReader = VKKRN_NewReader(serial.handle);
    ASSERT_GT(serialReader, 0);
    struct Case {
        bool java;
        unsigned int flag;
        unsigned int use;
        int onSerial;
        int onTcp;
    };
    const Case cases[] = {
        {false, 1, 1, -4054, -4054},  {false, 5, 1, -4054, -4054},  {false, 8, 1, -4050, -4050},
        {false, 6, 1, 0, 0},          {false, 3, 1, 0, 0},          {false, 6, 4, 0, -4054},
        {false, 7, 4, -4054, -4054},  {false, 1, 4, -4054, -4054},  {false, 8, 4, -4050, -4054},
        {true, 102, 1, -4054, -4054}, {true, 100, 1, -4050, -4050}, {true, 101, 1, 0, 0},
        {true, 101, 4, 0, -4054},     {true, 102, 4, -4054, -4054}, {true, 100, 4, -4050, -4050},
    };
    for (const Case& c : cases) {
        for (const int reader : {serialReader, reader_}) {
            const int expected = reader == serialReader ? c.onSerial : c.onTcp;
            int rc;
            if (c.java) {
                _VKKRN_INTERNAL_EVENT_INIT r{};
                r.uiUse = c.use;
                r.uiFlag = c.flag;
                rc = VKKRN_AddEventHandlerEx(reader, &r);
                if (rc == 0) {
                    EXPECT_EQ(VKKRN_DelEventHandlerEx(reader, &r), 0);
                }
            } else {
                auto r = record(c.use, c.flag);
                rc = VKKRN_AddEventHandler(reader, &r);
                if (rc == 0) {
                    EXPECT_EQ(VKKRN_DelEventHandler(reader, &r), 0);
                }
            }
            EXPECT_EQ(rc, expected) << c.java << " flag " << c.flag << " use " << c.use << " reader "
                                    << reader;
            if (rc != 0) {
                EXPECT_EQ(lastError(reader), expected);
            }
        }
    }
    VKKRN_DeleteReader(serialReader);
}

TEST_F(Events, ExportChecksInOrder) {
    _VKKRN_EVENT_INIT r = record(1, 7);
    _VKKRN_INTERNAL_EVENT_INIT j{};
    j.uiFlag = 101;
    struct Case {
        int handle;
        bool null;
        int expected;
    };
    const Case cases[] = {
        {-1, true, -4022}, {0, true, -4021}, {reader_ + 7, true, -4002}, {reader_ + 7, false, -4023}};
    for (const Case& c : cases) {
        EXPECT_EQ(VKKRN_AddEventHandler(c.handle, c.null ? nullptr : &r), c.expected);
        EXPECT_EQ(VKKRN_DelEventHandler(c.handle, c.null ? nullptr : &r), c.expected);
        EXPECT_EQ(VKKRN_AddEventHandlerEx(c.handle, c.null ? nullptr : &j), c.expected);
        EXPECT_EQ(VKKRN_DelEventHandlerEx(c.handle, c.null ? nullptr : &j), c.expected);
    }
}

// A handler that calls back into its own reader.
struct Reentrant {
    int reader = 0;
    std::vector<int> results;
};

void reenter(void* any, unsigned char*, int, int event) {
    auto* r = static_cast<Reentrant*>(any);
    if (event != 5) return;
    unsigned char frame[] = {5, 1, 0x65, 0xFD, 0x2D};
    unsigned char rx[64];
    r->results.push_back(VKKRN_SendTransparent(r->reader, frame, 5, rx, sizeof rx, 0, 0));
    r->results.push_back(VKKRN_Transmit(r->reader, frame, 5, 0, 0));
    r->results.push_back(VKKRN_Receive(r->reader, rx, sizeof rx, 0));
    _VKKRN_EVENT_INIT other = record(2, 7);
    r->results.push_back(VKKRN_AddEventHandler(r->reader, &other));
    r->results.push_back(VKKRN_DelEventHandler(r->reader, &other));
}

TEST_F(Events, CallsFromAHandlerIntoItsOwnReaderGetBusy) {
    Reentrant state{reader_, {}};
    _VKKRN_EVENT_INIT r{};
    r.pAny = &state;
    r.uiUse = 5;
    r.uiFlag = 7;
    r.callback.form7 = &reenter;
    ASSERT_EQ(VKKRN_AddEventHandler(reader_, &r), 0);
    ASSERT_EQ(VKKRN_SetReaderPara(reader_, "LOGPROT", "1"), 0);
    EXPECT_GT(exchange(krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {})), 0);
    EXPECT_EQ(state.results, std::vector<int>(5, -4032));
    EXPECT_GT(exchange(krnsim::buildRequest(krnsim::Form::Standard, 1, 0x65, {})), 0)
        << "no lock left behind";
}

} // namespace
