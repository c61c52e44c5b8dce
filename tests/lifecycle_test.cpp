// Creating and releasing contexts: each creation fetches the snapshot anew,
// and a context stays usable while another one comes and goes.
#include <gtest/gtest.h>

#include <string>

#include "sim_device.h"

using namespace velquar_test;

namespace {

const char kSmallPanel[] = "capability.panel_width = 1280\ncapability.panel_height = 720\n";

}  // namespace

TEST(Lifecycle, CreationAfterReleaseFetchesTheSnapshotAgain) {
    SimDevice device;
    {
        Context first;
        ASSERT_EQ(first.rc(), PROPERTY_OK);
        EXPECT_EQ(readInt32(first.get(), "panelWidth").value, 3840);
        EXPECT_EQ(first.release(), PROPERTY_OK);
    }
    device.setState(kSmallPanel);
    device.clearLog();
    Context second;
    ASSERT_EQ(second.rc(), PROPERTY_OK);
    EXPECT_EQ(device.calls("AppIpcApi_GetHDCPVersion ").size(), 1u);
    EXPECT_EQ(device.calls("AppIpcApi_QueryPlatformAllCapability ").size(), 1u);
    EXPECT_EQ(readInt32(second.get(), "panelWidth").value, 1280);
    EXPECT_EQ(readInt32(second.get(), "displayWidth").value, 1920);
}

// Two live contexts: each answers from the snapshot its own creation
// fetched, before and after the other is released.
class OverlappingContexts : public testing::TestWithParam<bool> {};

TEST_P(OverlappingContexts, ReleasingOneKeepsTheOtherAnswering) {
    const bool releaseOlderFirst = GetParam();
    SimDevice device;
    Context older;
    ASSERT_EQ(older.rc(), PROPERTY_OK);
    device.setState(kSmallPanel);
    Context newer;
    ASSERT_EQ(newer.rc(), PROPERTY_OK);
    EXPECT_NE(older.get(), newer.get());
    EXPECT_EQ(device.calls("AppIpcApi_GetHDCPVersion ").size(), 2u);
    EXPECT_EQ(readInt32(newer.get(), "panelWidth").value, 1280);
    EXPECT_EQ(readInt32(older.get(), "panelWidth").value, 3840);

    Context &gone = releaseOlderFirst ? older : newer;
    Context &kept = releaseOlderFirst ? newer : older;
    EXPECT_EQ(gone.release(), PROPERTY_OK);
    Read<int> width = readInt32(kept.get(), "panelWidth");
    EXPECT_EQ(width.rc, PROPERTY_OK);
    EXPECT_EQ(width.value, releaseOlderFirst ? 1280 : 3840);
    for (const char *name : {"supportsUHD", "supportsHEVC10Bits", "supportsHDCP"}) {
        EXPECT_EQ(readBool(kept.get(), name).rc, PROPERTY_OK) << name;
    }
    EXPECT_EQ(readInt32(kept.get(), "hdcpMajorVersion").value, 2);
    EXPECT_EQ(kept.release(), PROPERTY_OK);

    // After the last release a new context starts from a fresh fetch.
    device.setState("capability.panel_width = 1920\n");
    Context again;
    ASSERT_EQ(again.rc(), PROPERTY_OK);
    EXPECT_EQ(readInt32(again.get(), "panelWidth").value, 1920);
    EXPECT_EQ(device.calls("AppIpcApi_GetHDCPVersion ").size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Order, OverlappingContexts, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &param) {
                             return param.param ? "OlderReleasedFirst" : "NewerReleasedFirst";
                         });
