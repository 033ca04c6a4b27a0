// The registry with transponders on a reader that answers.
#include "tcl_link.h"

namespace {

int lastError() {
    int code = 0;
    char text[VKTCL_TEXT_SIZE];
    VKTCL_GetLastError(&code, text);
    return code;
}

class TclRegistryLink : public TclLinkTest {
  protected:
    void SetUp() override { open(TclLink::PlugIn); }
};

TEST_F(TclRegistryLink, HandlesCreationFailureAndListWalk) {
    EXPECT_EQ(newTransponder(), 1);
    EXPECT_EQ(newTransponder(), 2);
    setBuffers(9, 256); // no room for a payload byte
    EXPECT_EQ(VKTCL_NewTransponder(reader_, 1, 0, 0, false, false), -4200);
    EXPECT_EQ(lastError(), -4200);
    setBuffers(256, 256);
    EXPECT_EQ(newTransponder(), 3); // the failed creation gave its handle back
    EXPECT_EQ(lastError(), 0);

    const struct {
        int handle;
        int result;
    } walk[] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, -4220}, {-1, -4222}};
    for (const auto& step : walk) {
        EXPECT_EQ(VKTCL_GetTransponderList(step.handle), step.result) << step.handle;
        EXPECT_EQ(lastError(), step.result < 0 ? step.result : 0) << step.handle;
    }
    EXPECT_EQ(VKTCL_DeleteTransponder(2), 0);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(VKTCL_DeleteTransponder(2), -4223);
    EXPECT_EQ(lastError(), -4223);
    EXPECT_EQ(VKTCL_GetTransponderList(1), 3);
    EXPECT_EQ(VKTCL_GetTransponderList(2), -4220);
    unsigned char a[2] = {};
    EXPECT_EQ(VKTCL_Apdu(2, a, 2, nullptr), -4223);
    EXPECT_EQ(lastError(), -4223);
    EXPECT_EQ(VKTCL_Apdu(3, a, 2, nullptr), 0);
    EXPECT_EQ(lastError(), 0);
    EXPECT_EQ(newTransponder(), 4);
}

TEST_F(TclRegistryLink, AReaderHandleThatIsNoReader) {
    EXPECT_EQ(VKTCL_NewTransponder(reader_ + 100, 1, 0, 0, false, false), -4200);
    EXPECT_EQ(VKTCL_NewTransponder(-3, 1, 0, 0, false, false), -4220);
    EXPECT_EQ(lastError(), -4220);
    EXPECT_EQ(newTransponder(), 1);
}

} // namespace
