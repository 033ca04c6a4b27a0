// The handle registries and the reader module, without a JVM.
#include "fake_references.h"
#include "registry.h"

#include <gtest/gtest.h>

#include <vkdm/vkdm_control.h>

#include <memory>
#include <vector>

namespace {

constexpr int M = 0x10000000;
constexpr int U = 0x20000000;

TEST(ReaderRegistry, HandlesCountUpAndARefusedTypeUsesANumber) {
    VKDM_ReaderManager registry;
    EXPECT_EQ(registry.CreateReaderModule(3), M + 1);
    EXPECT_EQ(registry.CreateReaderModule(5), -118);
    EXPECT_EQ(registry.CreateReaderModule(3), M + 3);
    EXPECT_EQ(registry.EnumReaderModules(), 2);
    ASSERT_NE(registry.SearchReaderModule(M + 3), nullptr);
    EXPECT_EQ(registry.SearchReaderModule(M + 3)->GetModuleHnd(), M + 3);
    EXPECT_EQ(registry.SearchReaderModule(M + 2), nullptr);
}

TEST(ReaderRegistry, WrapsPastTheLastNumberAndSkipsListedHandles) {
    VKDM_ReaderManager registry;
    ASSERT_EQ(registry.CreateReaderModule(3), M + 1);
    registry.SetCounter(0x0FFFFFFE);
    EXPECT_EQ(registry.CreateReaderModule(3), M + 0x0FFFFFFF);
    // 1 is still listed: the next free number is 2.
    EXPECT_EQ(registry.CreateReaderModule(3), M + 2);
    registry.SetCounter(0x0FFFFFFF);
    ASSERT_EQ(registry.DeleteReaderModule(M + 1), 0);
    EXPECT_EQ(registry.CreateReaderModule(3), M + 1);
}

TEST(ReaderRegistry, ListWalkAndDeletion) {
    VKDM_ReaderManager registry;
    EXPECT_EQ(registry.GetReaderModuleList(0), -140);
    const int a = registry.CreateReaderModule(3);
    const int b = registry.CreateReaderModule(3);
    struct Row {
        int handle;
        int next;
    };
    for (const Row& row : {Row{0, a}, Row{a, b}, Row{b, 0}, Row{M + 77, -139}, Row{U + 1, -139}})
        EXPECT_EQ(registry.GetReaderModuleList(row.handle), row.next) << std::hex << row.handle;
    EXPECT_EQ(registry.DeleteReaderModule(M + 77), -139);
    EXPECT_EQ(registry.DeleteReaderModule(a), 0);
    EXPECT_EQ(registry.DeleteReaderModule(a), -139);
    EXPECT_EQ(registry.GetReaderModuleList(0), b);
    EXPECT_EQ(registry.EnumReaderModules(), 1);
}

TEST(ReaderRegistry, DestructorDeletesWhatIsLeft) {
    const int before = VKDM_CTL_ModuleCount();
    {
        VKDM_ReaderManager registry;
        registry.CreateReaderModule(3);
        registry.CreateReaderModule(3);
        EXPECT_EQ(VKDM_CTL_ModuleCount(), before + 2);
    }
    EXPECT_EQ(VKDM_CTL_ModuleCount(), before);
}

TEST(ReaderRegistry, LockFlags) {
    VKDM_ReaderManager registry;
    EXPECT_EQ(registry.VKDM_LockMutex(0), 1);
    EXPECT_EQ(registry.VKDM_LockMutex(1), 0);
    registry.VKDM_UnLockMutex();
    EXPECT_EQ(registry.VKDM_LockMutex(1), 1);
    registry.VKDM_UnLockMutex();
    EXPECT_EQ(registry.VKDM_LockMutexInit(0), 1);
    EXPECT_EQ(registry.VKDM_LockMutexInit(7), 0);
    registry.VKDM_UnLockMutexInit();
    registry.VKDM_UnLockMutexInit(); // a free lock stays free
    EXPECT_EQ(registry.VKDM_LockMutexInit(1), 1);
    registry.VKDM_UnLockMutexInit();
}

class UnitRegistryTest : public ::testing::Test {
  protected:
    VKDM_ReaderManager modules;
    VKDM_FunctionUnitManager units;
    VKDM_KRNReader* reader() { return modules.SearchReaderModule(modules.GetReaderModuleList(0)); }
    void SetUp() override { modules.CreateReaderModule(3); }
};

TEST_F(UnitRegistryTest, HandlesTypesAndManageChildMode) {
    EXPECT_EQ(units.CreateModule(reader(), 10), U + 1);
    EXPECT_EQ(units.CreateModule(reader(), 9), -106);
    EXPECT_EQ(units.CreateModule(reader(), 12), U + 3);
    EXPECT_EQ(units.CreateModule(reader(), 11), U + 4);
    EXPECT_EQ(units.EnumModules(), 3);
    ASSERT_NE(units.SearchModule(U + 3), nullptr);
    EXPECT_EQ(units.SearchModule(U + 3)->GetFUType(), 12);
    EXPECT_FALSE(units.SearchModule(U + 3)->GetManageChildMode());
    EXPECT_EQ(units.GetModuleList(0), U + 1);
    EXPECT_EQ(units.GetModuleList(U + 4), 0);
    EXPECT_EQ(units.GetModuleList(U + 2), -139);
    EXPECT_EQ(units.DeleteModule(U + 2), -139);
    EXPECT_EQ(units.GetReaderModuleOf(U + 3), modules.GetReaderModuleList(0));
    EXPECT_EQ(units.GetReaderModuleOf(U + 2), -139);
    EXPECT_EQ(units.DeleteModule(U + 1), 0);
    units.SetCounter(0x0FFFFFFF);
    EXPECT_EQ(units.CreateModule(reader(), 10), U + 1);
}

TEST_F(UnitRegistryTest, CollectModuleHandlesDepthFirst) {
    std::vector<int> h;
    for (int k = 0; k < 5; ++k)
        h.push_back(units.CreateModule(reader(), 11));
    auto unit = [&](int k) { return units.SearchModule(h[static_cast<std::size_t>(k)]); };
    // 0 -> (1 -> (3), 2), 4 alone.
    ASSERT_EQ(unit(0)->AddChild(1, unit(1)), 0);
    ASSERT_EQ(unit(0)->AddChild(2, unit(2)), 0);
    ASSERT_EQ(unit(1)->AddChild(1, unit(3)), 0);
    std::vector<int> collected;
    units.CollectModuleHandles(unit(0), collected);
    EXPECT_EQ(collected, (std::vector<int>{h[1], h[3], h[2]}));
    collected.clear();
    units.CollectModuleHandles(unit(4), collected);
    EXPECT_TRUE(collected.empty());
}

TEST(ReaderModule4J, NewModuleAndPortLookups) {
    nubokrn4j::testing::FakeReferences refs;
    auto module = std::make_unique<VKDM_KRNReaderModule_4J>(refs);
    for (auto slot : {nubokrn4j::Slot::Reader, nubokrn4j::Slot::Queue, nubokrn4j::Slot::Apdu}) {
        const auto view = module->Listeners().slot(slot);
        EXPECT_EQ(view.weak, nullptr);
        EXPECT_EQ(view.uses, 0);
    }
    EXPECT_EQ(module->m_TclSession.load(), 0);
    EXPECT_EQ(module->m_PortKind.load(), VKDM_PORT_NONE);
    EXPECT_EQ(module->m_TaskActive.load(), 0);
    EXPECT_EQ(module->CachedFunctionCount(), 0);

    void* doPortCmd = module->GetViZerFunction(1025);
    EXPECT_NE(doPortCmd, nullptr);
    EXPECT_EQ(doPortCmd, VKDM_Base::GetViZerFunction(1025));
    struct Row {
        bool serial;
        unsigned id;
    };
    // The extended handler functions: libvkcom has them under C++ names only,
    // libvkusb not at all; ids outside the library's range give null.
    for (const Row& row : {Row{true, 1050}, Row{true, 1051}, Row{true, 1100}, Row{true, 999},
                           Row{false, 1150}, Row{false, 1151}, Row{false, 1025}, Row{false, 1200}}) {
        void* f = row.serial ? module->GetViZerFunction(row.id) : module->GetVkUsbFunction(row.id);
        EXPECT_EQ(f, nullptr) << row.id;
    }
    EXPECT_EQ(module->CachedFunctionCount(), 0);
}

} // namespace
