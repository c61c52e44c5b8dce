// The configuration store and the 13 properties read from the application's
// configuration file, through the exported functions against files written
// here.
//
// The store loads its file once per process. CTest runs every test case
// (each TEST and each TEST_P instance) as a process of its own, so every case
// starts without a store. The cases on the default path run in a child
// process whose private mount namespace has a fresh, empty /cusdata.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <numeric>
#include <sstream>
#include <string>

#include "app_ipc.h"
#include "brennic_setting.h"
#include "root_view.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

const std::string kPathLine = "Orvane Palomir config path: ";
const std::string kDefaultPath = "/cusdata/applications/Orvane/config.ini";
const std::map<std::string, std::string> kKeys = {
    {"platformPackageVersion", "Device:PlatformPackageVersion"},
    {"deviceMode", "Device:DeviceMode"},
    {"deviceTypeId", "Device:DeviceTypeId"},
    {"supportsIntraChunkSeeking", "PlaybackEncoding:supportsIntraChunkSeeking"},
    {"supportsDASH", "PlaybackEncoding:supportsDASH"},
    {"supportsCVBR", "PlaybackEncoding:supportsCVBR"},
    {"supportsSurroundSound", "PlaybackEncoding:supportsSurround"},
    {"supportsAudioCodecSwitching", "PlaybackAudio:supportsAudioCodecSwitching"},
    {"hasExternalOutput", "PlaybackExternalOutput:hasExternalOutput"},
    {"fragmentCacheSize", "PlaybackMisc:FragmentCacheSize"},
    {"updateFrequency", "PlaybackMisc:UpdateFrequency"},
    {"fragmentCacheMountPoint", "PlaybackMisc:FragmentCacheMountPoint"},
    {"bandwidthEstimateFilePath", "Network:BandwidthEstimateFilePath"}};

// The value read, or "-" for PROPERTY_UNAVAILABLE with the variable untouched.
template <typename T>
std::string text(const Read<T> &r, const std::string &value) {
    return r.rc == PROPERTY_OK ? value : r.rc == PROPERTY_UNAVAILABLE && r.untouched ? "-" : "?";
}

std::string readText(DevicePropertiesProviderContext *ctx, const std::string &name) {
    Type type = Type::String;
    for (const Property &p : catalogue()) {
        type = name == p.name ? p.type : type;
    }
    if (type == Type::Bool) {
        const Read<bool> r = readBool(ctx, name.c_str());
        return text(r, r.value ? "true" : "false");
    }
    if (type == Type::Int32) {
        const Read<int> r = readInt32(ctx, name.c_str());
        return text(r, std::to_string(r.value));
    }
    const Read<std::string> r = readString(ctx, name.c_str());
    return text(r, r.value);
}

// Reads "name=value ..." in order on a new context and checks each value
// ("-": failed; "~text": device mode text refused) and all that is printed:
// head, then the failure line of each read that fails.
void expectReads(const std::string &head, const std::string &want) {
    Context ctx;
    std::istringstream in(want);
    std::string got, wanted, printed = head;
    std::string out = captureStdout([&] {
        for (std::string word; in >> word;) {
            std::string name = word.substr(0, word.find('=')), value = word.substr(name.size() + 1);
            got += name + "=" + readText(ctx.get(), name) + " ";
            wanted += name + "=" + (value[0] == '~' ? "-" : value) + " ";
            if (value == "-") {
                printed += "Failed to get value for [" + kKeys.at(name) + "] from ini\n";
            } else if (value[0] == '~') {
                printed += "Invalid setting for device mode, strDeviceMode:" + value.substr(1);
            }
        }
    });
    EXPECT_EQ(got, wanted);
    EXPECT_EQ(out, printed);
}

const std::string kAllFail = std::accumulate(
    kKeys.begin(), kKeys.end(), std::string(),
    [](const std::string &want, const auto &key) { return want + key.first + "=- "; });

std::string loadFailure(const std::string &path) {
    return "BrennicSettingPrivate Failed to load " + path + "\n";
}

// The largest configuration file that is loaded.
const size_t kSizeBound = 1024 * 1024;

struct FileCase {
    std::string label, file, want;
};

const FileCase kFiles[] = {
    {"TrueSpellingsAndCIntegers",
     "[Device]\nDeviceMode = dev\n[PlaybackEncoding]\nsupportsIntraChunkSeeking = Yes\n"
     "supportsDASH = yes\nsupportsCVBR = 1\nsupportsSurround = true\n[PlaybackAudio]\n"
     "supportsAudioCodecSwitching = T\n[PlaybackExternalOutput]\nhasExternalOutput = y\n"
     "[PlaybackMisc]\nFragmentCacheSize = 0x10\nUpdateFrequency = 010\n",
     "deviceMode=1 supportsIntraChunkSeeking=true supportsDASH=true supportsCVBR=true "
     "supportsSurroundSound=true supportsAudioCodecSwitching=true hasExternalOutput=true "
     "fragmentCacheSize=16 updateFrequency=8 deviceTypeId=-"},
    {"FalseSpellings",
     "[Device]\nDeviceMode = Prod\n[PlaybackEncoding]\nsupportsIntraChunkSeeking = no\n"
     "supportsDASH = False\nsupportsCVBR = 0\nsupportsSurround = N\n[PlaybackAudio]\n"
     "supportsAudioCodecSwitching = f\n[PlaybackExternalOutput]\nhasExternalOutput = F\n",
     "deviceMode=~Prod supportsIntraChunkSeeking=false supportsDASH=false supportsCVBR=false "
     "supportsSurroundSound=false supportsAudioCodecSwitching=false hasExternalOutput=false"},
    // The surround key is "supportsSurround", not one named like the property.
    // Section headers named like look-ups are entries without a value, which
    // iniparser's own conversions would dereference.
    {"UnreadableValuesAndEntriesWithoutValue",
     "[Device]\nDeviceMode = production\n[PlaybackEncoding]\nsupportsIntraChunkSeeking = maybe\n"
     "supportsDASH = enabled\nsupportsCVBR =\nsupportsSurroundSound = true\n[PlaybackAudio]\n"
     "supportsAudioCodecSwitching = \"\"\n[PlaybackMisc]\nUpdateFrequency = -1\n"
     "[PlaybackMisc:FragmentCacheSize]\n[PlaybackExternalOutput:hasExternalOutput]\n",
     "deviceMode=~production supportsIntraChunkSeeking=- supportsDASH=- supportsCVBR=- "
     "supportsSurroundSound=- supportsAudioCodecSwitching=- hasExternalOutput=- "
     "updateFrequency=- fragmentCacheSize=-"},
    // Section and key names in other letter cases are found all the same.
    {"TextsCommentsAndLetterCase",
     "# notes\n[device]\nPlatformPackageVersion = \"6.2.1;beta\"\ndevicetypeid =\n"
     "DeviceMode = prod ; shipped\n[PLAYBACKMISC]\nFRAGMENTCACHESIZE = abc\nUpdateFrequency = -2\n"
     "FragmentCacheMountPoint = /Mnt/Cache # tmpfs\n"
     "[network]\nbandwidthestimatefilepath = '/data/bw#1.dat'\n",
     "platformPackageVersion=6.2.1;beta deviceTypeId= deviceMode=0 fragmentCacheSize=0 "
     "updateFrequency=-2 fragmentCacheMountPoint=/Mnt/Cache "
     "bandwidthEstimateFilePath=/data/bw#1.dat"},
    // No regular file: not loaded, as a missing one (a FIFO would block the
    // load, /dev/zero never end it).
    {"Fifo", "<fifo>", kAllFail},
    {"DeviceZero", "<zero>", kAllFail},
    // A regular file whose read would block (a kernel tracing pipe): not
    // loaded either, and the load does not wait for it.
    {"RegularFileThatBlocks", "<pipe>", kAllFail},
    // Up to the bound a file loads to its last line; beyond it, not at all.
    {"AtTheSizeBound", iniPaddedTo(kSizeBound, "[PlaybackMisc]\nFragmentCacheSize = 7\n"),
     "fragmentCacheSize=7 supportsDASH=-"},
    {"OverTheSizeBound", iniPaddedTo(kSizeBound + 1, "[PlaybackMisc]\nFragmentCacheSize = 7\n"),
     kAllFail},
};

class ConfigFile : public testing::TestWithParam<FileCase> {};

TEST_P(ConfigFile, Answers) {
    SimDevice device;
    const std::string path = device.dir() + "/config.ini";
    const std::string &file = GetParam().file;
    ASSERT_EQ(iniPaddedTo(kSizeBound + 1, "end\n").size(), kSizeBound + 1);
    auto answers = [&] {
        alarm(10);  // a load that hangs ends the test
        if (file == "<fifo>") {
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
        } else if (file == "<zero>") {
            ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
        } else if (file == "<pipe>") {
            ASSERT_EQ(symlink("/mnt/trace_pipe", path.c_str()), 0);
        } else {
            writeFile(path, file);
        }
        device.setState("config_path = " + path + "\n");
        const bool loads = file[0] != '<' && file.size() <= kSizeBound;
        expectReads(kPathLine + path + "\n" + (loads ? "" : loadFailure(path)), GetParam().want);
    };
    if (file != "<pipe>") {
        answers();
        return;
    }
    const RootView view = runInRootView({"mnt"}, [&] {
        if (mount("velquar-tracing", "/mnt", "tracefs", 0, nullptr) != 0) {
            notPermittedInRootView();
        }
        answers();
    });
    if (view == RootView::NotPermitted) {
        GTEST_SKIP() << "no private mount namespace or no tracefs here";
    }
}

INSTANTIATE_TEST_SUITE_P(Config, ConfigFile, testing::ValuesIn(kFiles),
                         [](const auto &param) { return param.param.label; });

// The simulated television's sample file answers all 13 (many threads making
// the first look-up at once: Concurrency.FirstConfigurationReadFromManyThreadsAtOnce).
TEST(Config, SampleFileAnswersAllThirteen) {
    SimDevice device;
    char path[APPIPC_CONFIG_PATH_SIZE] = {};
    ASSERT_EQ(AppIpcApi_GetAPPConfigFilePath(5, path), 0);
    expectReads(kPathLine + path + "\n",
                "platformPackageVersion=6.2.1-velquar.20261201 deviceMode=0 "
                "deviceTypeId=ORVANE-TV-VQ9A-2026 supportsIntraChunkSeeking=true supportsDASH=true "
                "supportsCVBR=false supportsSurroundSound=true supportsAudioCodecSwitching=false "
                "hasExternalOutput=false fragmentCacheSize=65536 updateFrequency=86400 "
                "fragmentCacheMountPoint=/cusdata/applications/Orvane/cache "
                "bandwidthEstimateFilePath=/cusdata/applications/Orvane/bandwidth.dat");
}

// The store's classes are part of the library's interface: linked from
// here, they answer from the one store that the properties use, and a failed
// look-up leaves the caller's variable alone.
TEST(Config, ExportedStoreServesTheProperties) {
    SimDevice device;
    velquar::BrennicSetting &store = velquar::BrennicSetting::Get();
    int size = 7;
    bool flag = true;
    std::string text = "kept";
    EXPECT_TRUE(store.GetInt("playbackmisc:fragmentcachesize", size));
    EXPECT_EQ(size, 65536);
    EXPECT_TRUE(store.GetBoolean("PlaybackEncoding:supportsCVBR", flag));
    EXPECT_FALSE(flag);
    EXPECT_FALSE(store.GetString("Device:NoSuchKey", text));
    EXPECT_EQ(text, "kept");
    expectReads("", "fragmentCacheSize=65536 supportsCVBR=false");
    EXPECT_EQ(device.calls("AppIpcApi_GetAPPConfigFilePath").size(), 1u);
}

// The store searches once and converts the text itself; whatever the
// spelling, it answers as iniparser's own integer and boolean look-ups do on
// the same dictionary.
TEST(Config, LookUpsConvertAsIniparserDoes) {
    const char *const values[] = {
        "42",  "-7",         "+5",         "0x1F",        "0X1f",       "010",
        "08",  "0x",         "-0x10",      "1e3",         "abc",        "",
        "-1",  "4294967295", "4294967297", "-2147483649", "2147483648", "99999999999999999999",
        "yes", "Nope",       "true",       "T",           "f",          "F0",
        "2",   "maybe",      "\"1\"",      "'0'"};
    SimDevice device;
    const std::string path = device.dir() + "/config.ini";
    std::string file = "[T]\n";
    for (size_t n = 0; n < std::size(values); ++n) {
        file += "k" + std::to_string(n) + " = " + values[n] + "\n";
    }
    writeFile(path, file);
    device.setState("config_path = " + path + "\n");
    dictionary *dict = iniparser_load(path.c_str());
    ASSERT_NE(dict, nullptr);
    velquar::BrennicSetting *store = nullptr;
    EXPECT_EQ(captureStdout([&] { store = &velquar::BrennicSetting::Get(); }),
              kPathLine + path + "\n");
    for (size_t n = 0; n < std::size(values); ++n) {
        const std::string key = "T:k" + std::to_string(n);
        const int wantInt = iniparser_getint(dict, key.c_str(), -1);
        int gotInt = 12345;
        const bool intFound = store->GetInt(key, gotInt);
        EXPECT_EQ(intFound, wantInt != -1) << values[n];
        EXPECT_EQ(gotInt, intFound ? wantInt : 12345) << values[n];

        const int wantBool = iniparser_getboolean(dict, key.c_str(), -1);
        bool gotTrue = true, gotFalse = false;
        const bool boolFound = store->GetBoolean(key, gotTrue);
        EXPECT_EQ(store->GetBoolean(key, gotFalse), boolFound) << values[n];
        EXPECT_EQ(boolFound, wantBool == 0 || wantBool == 1) << values[n];
        // Untouched when not found: each keeps its own starting value.
        EXPECT_EQ(gotTrue, boolFound ? wantBool == 1 : true) << values[n];
        EXPECT_EQ(gotFalse, boolFound ? wantBool == 1 : false) << values[n];
    }
    iniparser_freedict(dict);
}

// A service that fills the buffer without a NUL: the path is its first 4095
// bytes, a missing file (two lines and no other path tried).
TEST(Config, UnterminatedPathIsReadUpToTheLastByte) {
    SimDevice device("config_path.fill = X\n");
    const std::string path(4095, 'X');
    expectReads(kPathLine + path + "\n" + loadFailure(path), "supportsDASH=-");
}

// Each case in a child process of its own with a fresh, empty /cusdata. With
// the service failing, the file is asked for on the first look-up, not at
// context creation, and never again.
TEST(Config, DefaultPathWhenTheServiceFailsOrGivesNoPath) {
    const std::function<void()> cases[] = {
        [] {
            SimDevice device("config_path.result = 3\n");
            { Context creation; }
            EXPECT_TRUE(device.calls("AppIpcApi_GetAPPConfigFilePath").empty());
            expectReads("AppIpcApi_GetAPPConfigFilePath() failed (code:3) \n" + kPathLine +
                            kDefaultPath + "\n" + loadFailure(kDefaultPath),
                        kAllFail);
            writeFile(kDefaultPath, "[Device]\nDeviceMode = prod\n");
            expectReads("", "deviceMode=-");
            EXPECT_EQ(device.calls("AppIpcApi_GetAPPConfigFilePath applicationId=5 ").size(), 1u);
        },
        [] {
            SimDevice device("config_path =\n");
            writeFile(kDefaultPath, "[Device]\nDeviceMode = dev\n");
            expectReads(kPathLine + kDefaultPath + "\n", "deviceMode=1 supportsDASH=-");
        }};
    for (const auto &body : cases) {
        if (runInRootView({"cusdata"}, body) == RootView::NotPermitted) {
            GTEST_SKIP() << "no private mount namespace here";
        }
    }
}

}  // namespace
