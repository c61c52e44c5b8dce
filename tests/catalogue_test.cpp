// The catalogue: every name bound with its type, names matched exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_device.h"

using namespace velquar_test;

namespace {

const Type kAllTypes[] = {Type::Bool, Type::Int32, Type::Int64, Type::String};

}  // namespace

// The function of the property's type reaches its getter (whatever that
// answers); each of the other three is a mismatch that leaves the caller's
// variable (or size and buffer) alone, prints nothing and calls nothing.
TEST(Catalogue, EveryPropertyIsReadOnlyThroughTheFunctionOfItsType) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    ASSERT_EQ(catalogue().size(), 49u);
    for (const Property &p : catalogue()) {
        SCOPED_TRACE(p.name);
        const int own = readAs(p.type, ctx.get(), p.name).rc;
        EXPECT_NE(own, PROPERTY_NOT_FOUND);
        EXPECT_NE(own, PROPERTY_TYPE_MISMATCH);

        device.clearLog();
        std::vector<Outcome> others;
        std::string out = captureStdout([&] {
            for (Type t : kAllTypes) {
                if (t != p.type) {
                    others.push_back(readAs(t, ctx.get(), p.name));
                }
            }
        });
        ASSERT_EQ(others.size(), 3u);
        for (const Outcome &o : others) {
            EXPECT_EQ(o.rc, PROPERTY_TYPE_MISMATCH);
            EXPECT_TRUE(o.untouched);
        }
        EXPECT_EQ(out, "");
        EXPECT_TRUE(device.log().empty());
    }
}

TEST(Catalogue, NamesMatchExactlyCaseIncluded) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    const char *const names[] = {"",
                                 "HDCPMajorVersion",
                                 "getHDCPMajorVersion",
                                 "supportsuhd",
                                 "wiFiNetworkConnection",
                                 " supportsUHD",
                                 "supportsUHD ",
                                 "supportsUH",
                                 "cADirectoryPath"};
    device.clearLog();
    std::vector<Outcome> outcomes;
    std::string out = captureStdout([&] {
        for (const char *name : names) {
            for (Type t : kAllTypes) {
                outcomes.push_back(readAs(t, ctx.get(), name));
            }
        }
    });
    for (size_t n = 0; n < outcomes.size(); ++n) {
        const char *name = names[n / 4];
        EXPECT_EQ(outcomes[n].rc, PROPERTY_NOT_FOUND) << '"' << name << '"';
        EXPECT_TRUE(outcomes[n].untouched) << '"' << name << '"';
    }
    EXPECT_EQ(out, "");
    EXPECT_TRUE(device.log().empty());
}
