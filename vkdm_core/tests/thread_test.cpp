// One thread stores inventories and notifications while others read records,
// data memory and texts.
#include <vkdm/vkdm_core.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(Threads, StoringWhileReading) {
    VKDM_KRNReaderModule module;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::vector<unsigned char> inventory = {2,    0x03, 0xE0, 4, 1, 0,    0x12, 0x34, 0x56, 0x78,
                                                0x03, 0xE0, 0x04, 1, 0, 0x9A, 0xBC, 0xDE, 0xF0};
        unsigned char input[2] = {1, 1};
        for (int i = 0; i < 300; ++i) {
            module.Set_0xB0_IsoTableData(inventory.data(), static_cast<int>(inventory.size()), 0);
            module.SetData("03 10 18 02 01 00 00", static_cast<unsigned char>(0x80));
            module.SetData("03 10 18 03 01 00 00", static_cast<unsigned char>(0x01));
            module.SetData("03 10 18 05 02 00 00", 1u);
            module.SetBrmTableData(0x74, input, 2);
            module.SetData("03 10 00 00 01 00 00", static_cast<unsigned char>(i));
        }
        stop = true;
    });
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                if (VKDM_ISOTabItem* item = module.GetISOTableItem(0)) {
                    unsigned char buffer[8];
                    item->ReadRxData(0, buffer, 8);
                    item->GetFlags();
                }
                std::string uid;
                module.GetTableData(1, VKDM_TABLE_ISO, 0x08000002, uid);
                module.FindTableIndex(0, VKDM_TABLE_ISO, 0x08000002, std::string("E00401009ABCDEF0"));
                unsigned char status = 0;
                module.GetData("03 10 00 00 01 00 00", &status);
                char text[256];
                module.GetErrorText(text, -115);
                (void)module.m_BrmRecordCount.load();
            }
        });
    }
    writer.join();
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(module.GetTableLength(VKDM_TABLE_ISO), 2);
}

} // namespace
