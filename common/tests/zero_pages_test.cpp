#include <vkcommon/zero_pages.h>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace {

// For each page of the buffer: whether it is resident.
template <typename Byte> std::vector<bool> residentPages(const vk::ZeroPages<Byte>& buffer) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> flags((buffer.size() + page - 1) / page);
    if (::mincore(const_cast<Byte*>(buffer.data()), buffer.size(), flags.data()) != 0) return {};
    std::vector<bool> resident;
    for (unsigned char f : flags)
        resident.push_back((f & 1) != 0);
    return resident;
}

TEST(ZeroPages, ReadsAsZerosAndHoldsOnlyTheWrittenPages) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    vk::ZeroPages<unsigned char> buffer(0x10001);
    ASSERT_EQ(buffer.size(), 0x10001u);
    const std::vector<bool> fresh = residentPages(buffer);
    ASSERT_FALSE(fresh.empty());
    for (std::size_t i = 0; i < fresh.size(); ++i)
        EXPECT_FALSE(fresh[i]) << "page " << i << " resident before any write";

    buffer[3 * page + 5] = 0xA5;
    buffer[0x10000] = 0x5A; // the last byte, on a page of its own
    const std::vector<bool> written = residentPages(buffer);
    for (std::size_t i = 0; i < written.size(); ++i)
        EXPECT_EQ(written[i], i == 3 || i == written.size() - 1) << "page " << i;

    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (i == 3 * page + 5 || i == 0x10000) continue;
        ASSERT_EQ(buffer[i], 0) << i;
    }
    EXPECT_EQ(buffer[3 * page + 5], 0xA5);
}

TEST(ZeroPages, MovingHandsTheMappingOver) {
    vk::ZeroPages<char> first(100);
    first[7] = 'x';
    char* const bytes = first.data();
    vk::ZeroPages<char> second(std::move(first));
    EXPECT_EQ(second.data(), bytes);
    EXPECT_EQ(second.size(), 100u);
    EXPECT_EQ(second[7], 'x');
    EXPECT_EQ(first.data(), nullptr);
    EXPECT_EQ(first.size(), 0u);

    vk::ZeroPages<char> third(10);
    third = std::move(second);
    EXPECT_EQ(third.data(), bytes);
    EXPECT_EQ(third[7], 'x');
}

} // namespace
