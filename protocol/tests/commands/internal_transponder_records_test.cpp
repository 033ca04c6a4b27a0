// The records the transponder, transparent, SAM and card-crypto commands hand
// to a plug-in that frames commands itself, and their requests over the
// in-process link (a recording plug-in on the simulated reader).
#include "sim_plugin_reader.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using krnsim::Bytes;

class TransponderRecords : public SimPlugInReaderTest {
  protected:
    // Runs `call` with the plug-in recording `size` record bytes; the record.
    template <typename Record> Record run(const std::function<int()>& call, std::uint8_t cmd, int mode) {
        plugIn_->recorded.clear();
        plugIn_->record(sizeof(Record));
        EXPECT_GE(call(), 0);
        EXPECT_EQ(plugIn_->recorded.size(), 1u);
        if (plugIn_->recorded.empty()) return Record{};
        const RecordedCommand& r = plugIn_->recorded.back();
        EXPECT_EQ(r.cmd, cmd);
        EXPECT_EQ(r.mode, mode) << "the data format, or 0";
        EXPECT_TRUE(r.hasRecord);
        return r.as<Record>();
    }
    Bytes lastData() {
        const auto entries = sim_.log().entries();
        return entries.empty() ? Bytes{} : entries.back().data;
    }

    unsigned char request_[8] = {'0', 'a', '1', 'B', '7', 0, 0, 0};
    unsigned char reply_[64] = {};
    int len_ = 0;
};

TEST_F(TransponderRecords, EveryCommandFillsItsRecord) {
    unsigned char* rq = request_;
    unsigned char* out = reply_;
    int* l = &len_;
    const int h = handle_;

    // The request descriptor is the caller's request as passed: hex text and its
    // character count with format 1.
    auto b0 =
        run<_VKKRN_PLUGIN_0xB0_DATA>([&] { return VKKRN_0xB0_ISOCmd(h, 1, rq, 5, out, l, 1); }, 0xB0, 1);
    EXPECT_EQ(b0.a1, rq);
    EXPECT_EQ(b0.a2, 5);
    EXPECT_EQ(b0.reserved1, nullptr);
    EXPECT_EQ(b0.reserved2, 0);
    EXPECT_EQ(lastData(), (Bytes{0x0A, 0x1B, 0x07}));
    auto b2 =
        run<_VKKRN_PLUGIN_0xB2_DATA>([&] { return VKKRN_0xB2_ISOCmd(h, 1, rq, 4, out, l, 2); }, 0xB2, 2);
    EXPECT_EQ(b2.a1, rq);
    EXPECT_EQ(b2.a2, 4);
    auto b3 =
        run<_VKKRN_PLUGIN_0xB3_DATA>([&] { return VKKRN_0xB3_EPCCmd(h, 1, rq, 3, out, l, 0); }, 0xB3, 0);
    EXPECT_EQ(b3.a1, rq);
    EXPECT_EQ(b3.a2, 3);
    auto fe =
        run<_VKKRN_PLUGIN_0xFE_DATA>([&] { return VKKRN_0xFE_Transceive(h, 1, rq, 2, out, l); }, 0xFE, 0);
    EXPECT_EQ(fe.a1, rq);
    EXPECT_EQ(fe.a2, 2);

    auto b1 = run<_VKKRN_PLUGIN_0xB1_DATA>(
        [&] { return VKKRN_0xB1_ISOCustAndPropCmd(h, 1, 0x21, rq, 4, out, l, 1); }, 0xB1, 1);
    EXPECT_EQ(b1.a1, 0x21);
    EXPECT_EQ(b1.a2, rq);
    EXPECT_EQ(b1.a3, 4);
    EXPECT_EQ(lastData(), (Bytes{0x21, 0x0A, 0x1B}));
    auto b5 = run<_VKKRN_PLUGIN_0xB1_DATA>(
        [&] { return VKKRN_0xB5_ISOCustAndPropCmd(h, 1, 0x25, rq, 0, out, l, 0); }, 0xB5, 0);
    EXPECT_EQ(b5.a1, 0x25) << "0xB5 fills 0xB1's record";
    EXPECT_EQ(b5.a3, 0);
    EXPECT_EQ(lastData(), (Bytes{0x25}));
    auto b4 = run<_VKKRN_PLUGIN_0xB4_DATA>(
        [&] { return VKKRN_0xB4_EPC_UHF_Cmd(h, 1, 0x24, rq, 1, out, l, 2); }, 0xB4, 2);
    EXPECT_EQ(b4.a1, 0x24);
    EXPECT_EQ(b4.a2, rq);
    EXPECT_EQ(b4.a3, 1);

    unsigned int ulen = 0;
    auto bb = run<_VKKRN_PLUGIN_0xBB_DATA>(
        [&] { return VKKRN_0xBB_C1G2_TranspCmd(h, 1, 1, 6, 0, 0x12345, 72, rq, 2, out, &ulen); }, 0xBB, 0);
    EXPECT_EQ(bb.a1, 1);
    EXPECT_EQ(bb.a2, 6);
    EXPECT_EQ(bb.a3, 0);
    EXPECT_EQ(bb.a4, 0x12345u) << "the value as passed";
    EXPECT_EQ(bb.reserved1, 0u);
    EXPECT_EQ(bb.a5, 72u);
    EXPECT_EQ(bb.a6, rq);
    EXPECT_EQ(bb.a7, 2u);
    EXPECT_EQ(lastData(), (Bytes{0x01, 0x06, 0x00, 0x23, 0x45, 0x00, 0x48, '0', 'a'}));

    auto bd = run<_VKKRN_PLUGIN_0xBD_DATA>(
        [&] { return VKKRN_0xBD_ISOTranspCmd(h, 1, 0x101, 0x10203, rq, 4, out, l, 1); }, 0xBD, 1);
    EXPECT_EQ(bd.a1, 0x01) << "mode's low byte";
    EXPECT_EQ(bd.a2, 0x10203);
    EXPECT_EQ(bd.a3, rq);
    EXPECT_EQ(bd.a4, 4);
    EXPECT_EQ(lastData(), (Bytes{0x01, 0x02, 0x03, 0x0A, 0x1B}));
    auto be = run<_VKKRN_PLUGIN_0xBE_DATA>(
        [&] { return VKKRN_0xBE_ISOTranspCmd(h, 1, 2, 3, rq, 2, out, l, 0); }, 0xBE, 0);
    EXPECT_EQ(be.a1, 2);
    EXPECT_EQ(be.a2, 3);
    auto bf = run<_VKKRN_PLUGIN_0xBF_DATA>(
        [&] { return VKKRN_0xBF_ISOTranspCmd(h, 1, 1, 88, rq, 0, out, l, 2); }, 0xBF, 2);
    EXPECT_EQ(bf.a1, 1);
    EXPECT_EQ(bf.a2, 88);
    EXPECT_EQ(bf.a4, 0);
    EXPECT_EQ(lastData(), (Bytes{0x01, 0x00, 0x58}));

    auto c0 = run<_VKKRN_PLUGIN_0xC0_DATA>(
        [&] { return VKKRN_0xC0_SAMCmd_Sync(h, 1, 0x102, 0x11E, rq, 2, out, l); }, 0xC0, 0);
    EXPECT_EQ(c0.a1, 0x102);
    EXPECT_EQ(c0.a2, 0x11E);
    EXPECT_EQ(c0.a3, rq);
    EXPECT_EQ(c0.a4, 2);
    EXPECT_EQ(c0.a5, out) << "the caller's reply buffer";
    EXPECT_EQ(c0.reserved1, 0);
    EXPECT_EQ(lastData(), (Bytes{0x02, 0x1E, '0', 'a'}));

    unsigned char field[] = "00A0FF";
    auto c1 = run<_VKKRN_PLUGIN_0xC1_DATA>(
        [&] { return VKKRN_0xC1_DESFireCmd(h, 1, 1, 2, field, 4, rq, 4, out, l, 1); }, 0xC1, 1);
    EXPECT_EQ(c1.a1 | c1.a2 | c1.a3 | c1.a4, 0) << "the leading fields stay 0";
    EXPECT_EQ(c1.a5, rq);
    EXPECT_EQ(c1.a6, 4);
    EXPECT_EQ(lastData(), (Bytes{0x01, 0x02, 0x00, 0xA0, 0xFF, 0x04, 0x0A, 0x1B}));
    auto c2 = run<_VKKRN_PLUGIN_0xC2_DATA>(
        [&] { return VKKRN_0xC2_MifarePlusCmd(h, 1, 7, 8, rq, 2, out, l, 0); }, 0xC2, 0);
    EXPECT_EQ(c2.a1 | c2.a2, 0);
    EXPECT_EQ(c2.a3, rq);
    EXPECT_EQ(c2.a4, 2);
    auto c3 = run<_VKKRN_PLUGIN_0xC3_DATA>(
        [&] { return VKKRN_0xC3_DESFireCmd(h, 1, 7, 8, rq, 4, out, l, 1); }, 0xC3, 1);
    EXPECT_EQ(c3.a1 | c3.a2, 0);
    EXPECT_EQ(c3.a3, rq);
    EXPECT_EQ(c3.a4, 4);
    EXPECT_EQ(lastData(), (Bytes{0x07, 0x08, 0x0A, 0x1B}));
}

TEST_F(TransponderRecords, ReplyConsumedByThePlugInCopiesNothing) {
    unsigned char request[] = {0x01, 0x00, 0x00};
    script_.splitDatastream = 3;
    std::memset(reply_, 0xEE, sizeof reply_);
    len_ = 9;
    EXPECT_EQ(VKKRN_0xB3_EPCCmd(handle_, 1, request, 3, reply_, &len_, 0), 0);
    EXPECT_EQ(len_, 0);
    EXPECT_EQ(reply_[0], 0xEE);
}

TEST_F(TransponderRecords, SamCommandOnAPlugInPortTouchesNoPortParameter) {
    unsigned char request[] = {0x00, 0xA4};
    EXPECT_EQ(VKKRN_0xC0_SAMCmd_Sync(handle_, 1, 0, 30, request, 2, reply_, &len_), 0);
    EXPECT_EQ(len_, 2);
    const auto& steps = plugIn_->steps;
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "main:get_port_para"), 0);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "main:set_port_para"), 0);
}

} // namespace
