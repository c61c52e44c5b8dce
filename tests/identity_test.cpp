// Manufacturer, model name, chipset and firmware version from the customer
// model record; supportsOLED through the /config/sys.ini chain.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "root_view.h"
#include "sim_device.h"

using namespace velquar_test;

TEST(Identity, CustomerRecordFields) {
    struct Field {
        const char *property;
        const char *key;  // the stand-in's state key
        size_t extent;
        const char *standard;  // the default device's text
        const char *failureLine;
    };
    const Field fields[] = {
        {"modelName", "model_name", 768, "OV-55U8", "Failed to get model from customer ini\n"},
        {"manufacturer", "manufacturer", 1280, "Orvane",
         "Failed to get manufacturer from customer ini\n"},
        {"chipset", "chipset", 1024, "VQ-9A", "Failed to get chipset from customer ini\n"},
        {"firmwareVersion", "firmware_version", 1024, "V8-T653T01-LF1V001",
         "Failed to get firmware version from customer ini\n"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Field &f : fields) {
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
            // Left without a NUL: it ends where the service stopped writing,
            // not in what the previous call left on the stack.
            {key + ".unterminated = ab", "ab", ""},
            {key + ".unwritten = 1", "", ""},
            {"customer.result = 2", "", "AppIpcApi_GetCustomerIniSection() failed code:2\n"},
        };
        for (const Case &k : cases) {
            SCOPED_TRACE(std::string(f.property) + ": " + k.state);
            device.setState(k.state + "\n");
            device.clearLog();
            Read<std::string> r;
            std::string out = captureStdout([&] { r = readString(ctx.get(), f.property, 4096); });
            EXPECT_EQ(r.rc, k.value.empty() ? PROPERTY_UNAVAILABLE : PROPERTY_OK);
            EXPECT_EQ(r.value, k.value);
            EXPECT_EQ(r.untouched, k.value.empty());
            EXPECT_EQ(out, k.value.empty() ? k.printed + f.failureLine : "");
            EXPECT_EQ(device.calls("AppIpcApi_GetCustomerIniSection section=Model ").size(), 1u);
        }
    }
}

TEST(Identity, OledChain) {
    const std::string sys = "[model]\ngModelName = /config/model/model.ini";
    const std::string model = "[panel]\nm_pPanelName = /config/panel/panel.ini";
    const std::string flag = "[panel]\nm_bPanelSupportsOLED = ";
    const std::string wrong = "Wrong value for m_bPanelSupportsOLED intValue:";
    struct Case {
        std::string files[3];  // sys.ini, model and panel file; empty: no such file
        int rc;
        int value;  // -1: out parameter untouched
        std::string printed;
    };
    const Case cases[] = {
        {{sys, model, flag + "1"}, PROPERTY_OK, 1, ""},
        {{sys, model, flag + "0"}, PROPERTY_OK, 0, ""},
        {{sys, model, flag}, PROPERTY_OK, 0, ""},
        {{sys, model, flag + "yes"}, PROPERTY_OK, 0, ""},
        {{sys, model, flag + "\"  1\""}, PROPERTY_OK, 1, ""},
        {{sys, model, "[PANEL]\nM_BPANELSUPPORTSOLED = 1"}, PROPERTY_OK, 1, ""},
        {{sys, model, flag + "2"}, PROPERTY_UNAVAILABLE, -1, wrong + "2\n"},
        {{sys, model, flag + "-1"}, PROPERTY_UNAVAILABLE, -1, wrong + "-1\n"},
        // Far out of range it must not wrap around to 1.
        {{sys, model, flag + "4294967297"}, PROPERTY_UNAVAILABLE, -1, wrong + "2147483647\n"},
        {{sys, model, "[panel]\nm_pOther = 1"}, PROPERTY_OK, 0, "iniparser_getstring failed\n"},
        // A section named like the look-up has no value: it reads as missing.
        {{sys, model, "[panel:m_bPanelSupportsOLED]"},
         PROPERTY_OK,
         0,
         "iniparser_getstring failed\n"},
        {{sys, model, ""}, PROPERTY_OK, 0, "iniparser_load failed\n"},
        {{sys, "[panel]", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_getstring failed\n"},
        {{sys, "", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {{"[model]\nother = 1", "", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_getstring failed\n"},
        {{"", "", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        // No regular file is loaded: a FIFO would block, /dev/zero never end.
        {{"<fifo>", "", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {{"<zero>", "", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {{sys, "<fifo>", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {{sys, "<zero>", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {{sys, model, "<fifo>"}, PROPERTY_OK, 0, "iniparser_load failed\n"},
        {{sys, model, "<zero>"}, PROPERTY_OK, 0, "iniparser_load failed\n"},
        // A regular file whose read would block (a kernel tracing pipe).
        {{"<pipe>", "", ""}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
        {{sys, model, "<pipe>"}, PROPERTY_OK, 0, "iniparser_load failed\n"},
        // Up to 1 MiB a file is read to its last line; beyond it, not at all.
        {{"<bound>" + sys, model, flag + "1"}, PROPERTY_OK, 1, ""},
        {{"<over>" + sys, model, flag + "1"}, PROPERTY_UNAVAILABLE, -1, "iniparser_load failed\n"},
    };
    const char *paths[] = {"/config/sys.ini", "/config/model/model.ini", "/config/panel/panel.ini"};
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    const size_t bound = 1024 * 1024;
    RootView view = runInRootView({"config", "mnt"}, [&] {
        alarm(20);  // a load that hangs ends the child, and the test fails
        const bool tracing = mount("velquar-tracing", "/mnt", "tracefs", 0, nullptr) == 0;
        for (const Case &k : cases) {
            SCOPED_TRACE(k.files[0].substr(0, 80) + " | " + k.files[1] + " | " + k.files[2]);
            if (!tracing && (k.files[0] == "<pipe>" || k.files[2] == "<pipe>")) {
                fprintf(stderr, "no tracefs here: the tracing pipe's rows do not run\n");
                continue;
            }
            std::filesystem::remove_all("/config");
            for (int i = 0; i < 3; ++i) {
                std::filesystem::create_directories(std::filesystem::path(paths[i]).parent_path());
                if (k.files[i] == "<fifo>") {
                    EXPECT_EQ(mkfifo(paths[i], 0644), 0);
                } else if (k.files[i] == "<zero>") {
                    EXPECT_EQ(symlink("/dev/zero", paths[i]), 0);
                } else if (k.files[i] == "<pipe>") {
                    EXPECT_EQ(symlink("/mnt/trace_pipe", paths[i]), 0);
                } else if (k.files[i].rfind("<bound>", 0) == 0) {
                    writeFile(paths[i], iniPaddedTo(bound, k.files[i].substr(7) + "\n"));
                } else if (k.files[i].rfind("<over>", 0) == 0) {
                    writeFile(paths[i], iniPaddedTo(bound + 1, k.files[i].substr(6) + "\n"));
                } else if (!k.files[i].empty()) {
                    writeFile(paths[i], k.files[i] + "\n");
                }
            }
            Read<bool> r;
            EXPECT_EQ(captureStdout([&] { r = readBool(ctx.get(), "supportsOLED"); }), k.printed);
            EXPECT_EQ(r.rc, k.rc);
            EXPECT_EQ(r.untouched, k.value < 0);
            if (k.value >= 0) {
                EXPECT_EQ(r.value, k.value == 1);
            }
        }
    });
    if (view == RootView::NotPermitted) {
        GTEST_SKIP() << "no private mount namespace for /config here";
    }
}
