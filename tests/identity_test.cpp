// Manufacturer, model name, chipset and firmware version from the customer
// model record; supportsOLED through the /config/sys.ini chain.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "root_view.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

struct Field {
    const char *property;
    const char *key;  // the stand-in's state key
    size_t extent;
    const char *standard;  // the default device's text
    const char *failureLine;
};

const Field kFields[] = {
    {"modelName", "model_name", 768, "OV-55U8", "Failed to get model from customer ini\n"},
    {"manufacturer", "manufacturer", 1280, "Orvane",
     "Failed to get manufacturer from customer ini\n"},
    {"chipset", "chipset", 1024, "VQ-9A", "Failed to get chipset from customer ini\n"},
    {"firmwareVersion", "firmware_version", 1024, "V8-T653T01-LF1V001",
     "Failed to get firmware version from customer ini\n"},
};

}  // namespace

TEST(Identity, CustomerRecordFields) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Field &f : kFields) {
        SCOPED_TRACE(f.property);
        const std::string key = std::string("customer.") + f.key;
        struct Case {
            std::string state;
            std::string value;    // empty: the read fails
            std::string printed;  // before the field's failure line
        };
        const Case cases[] = {
            {"", f.standard, ""},
            {key + " = He said \"55\" it's  tabs\tkept", "He said \"55\" it's  tabs\tkept", ""},
            // Filled to its end without a NUL: the text stops at the next field.
            {key + ".fill = Q", std::string(f.extent, 'Q'), ""},
            {key + ".unwritten = 1", "", ""},
            {key + " =", "", ""},
            {"customer.result = 2", "", "AppIpcApi_GetCustomerIniSection() failed code:2\n"},
        };
        for (const Case &k : cases) {
            SCOPED_TRACE(k.state);
            device.setState(k.state + "\n");
            device.clearLog();
            Read<std::string> r;
            std::string out = captureStdout([&] { r = readString(ctx.get(), f.property, 4096); });
            EXPECT_EQ(r.rc, k.value.empty() ? PROPERTY_UNAVAILABLE : PROPERTY_OK);
            EXPECT_EQ(r.value, k.value);
            EXPECT_EQ(r.untouched, k.value.empty());
            EXPECT_EQ(out, k.value.empty() ? k.printed + f.failureLine : "");
            const auto calls = device.calls("AppIpcApi_GetCustomerIniSection section=Model ");
            EXPECT_EQ(calls.size(), 1u);
        }
    }
}

namespace {

struct OledCase {
    const char *label;
    std::map<std::string, std::string> files;
    int rc;
    int value;  // -1: out parameter untouched
    const char *printed;
};

const char kSysIni[] = "[model]\ngModelName = /config/model/model.ini\n";
const char kModelIni[] = "[panel]\nm_pPanelName = /config/panel/panel.ini\n";

OledCase withFlag(const char *label, const std::string &flagLine, int rc, int value,
                  const char *printed) {
    return {label,
            {{"/config/sys.ini", kSysIni},
             {"/config/model/model.ini", kModelIni},
             {"/config/panel/panel.ini", "[panel]\n" + flagLine + "\n"}},
            rc,
            value,
            printed};
}

}  // namespace

TEST(Identity, OledChain) {
    const char *wrong2 = "Wrong value for m_bPanelSupportsOLED intValue:2\n";
    const OledCase cases[] = {
        withFlag("FlagOne", "m_bPanelSupportsOLED = 1", PROPERTY_OK, 1, ""),
        withFlag("FlagZero", "m_bPanelSupportsOLED = 0", PROPERTY_OK, 0, ""),
        withFlag("FlagEmpty", "m_bPanelSupportsOLED =", PROPERTY_OK, 0, ""),
        withFlag("FlagWord", "m_bPanelSupportsOLED = yes", PROPERTY_OK, 0, ""),
        withFlag("FlagQuotedWithBlanks", "m_bPanelSupportsOLED = \"  1\"", PROPERTY_OK, 1, ""),
        withFlag("NamesIgnoreCase", "M_BPANELSUPPORTSOLED = 1", PROPERTY_OK, 1, ""),
        withFlag("FlagTwo", "m_bPanelSupportsOLED = 2", PROPERTY_UNAVAILABLE, -1, wrong2),
        withFlag("FlagMinusOne", "m_bPanelSupportsOLED = -1", PROPERTY_UNAVAILABLE, -1,
                 "Wrong value for m_bPanelSupportsOLED intValue:-1\n"),
        // Far out of range it must not wrap around to 1.
        withFlag("FlagBeyondInt", "m_bPanelSupportsOLED = 4294967297", PROPERTY_UNAVAILABLE, -1,
                 "Wrong value for m_bPanelSupportsOLED intValue:2147483647\n"),
        withFlag("FlagMissing", "m_pOther = 1", PROPERTY_OK, 0, "iniparser_getstring failed\n"),
        // A section named like the look-up has no value: it reads as missing.
        withFlag("FlagIsASectionName", "[panel:m_bPanelSupportsOLED]", PROPERTY_OK, 0,
                 "iniparser_getstring failed\n"),
        {"NoSysIni", {}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {"SysIniWithoutModel",
         {{"/config/sys.ini", "[model]\nother = 1\n"}},
         PROPERTY_UNAVAILABLE,
         -1,
         "iniparser_getstring failed\n"},
        {"ModelFileMissing",
         {{"/config/sys.ini", kSysIni}},
         PROPERTY_UNAVAILABLE,
         -1,
         "iniparser_load failed\n"},
        {"ModelFileWithoutPanel",
         {{"/config/sys.ini", kSysIni}, {"/config/model/model.ini", "[panel]\n"}},
         PROPERTY_UNAVAILABLE,
         -1,
         "iniparser_getstring failed\n"},
        {"PanelFileMissing",
         {{"/config/sys.ini", kSysIni}, {"/config/model/model.ini", kModelIni}},
         PROPERTY_OK,
         0,
         "iniparser_load failed\n"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    RootView view = runInRootView({"config"}, [&] {
        for (const OledCase &k : cases) {
            SCOPED_TRACE(k.label);
            std::filesystem::remove_all("/config/model");
            std::filesystem::remove_all("/config/panel");
            std::filesystem::remove("/config/sys.ini");
            for (const auto &file : k.files) {
                writeFile(file.first, file.second);
            }
            Read<bool> r;
            EXPECT_EQ(captureStdout([&] { r = readBool(ctx.get(), "supportsOLED"); }), k.printed);
            EXPECT_EQ(r.rc, k.rc);
            if (k.value < 0) {
                EXPECT_TRUE(r.untouched);
            } else {
                EXPECT_FALSE(r.untouched);
                EXPECT_EQ(r.value, k.value == 1);
            }
        }
    });
    if (view == RootView::NotPermitted) {
        GTEST_SKIP() << "no private mount namespace for /config here";
    }
}
