// The shell command runner and the system properties: shell-backed values
// against what the same commands print here, the connection strength and the
// language tag table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "root_view.h"
#include "shell_command.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

// The first line a command prints here, as the test sees it.
std::string firstLine(const char *command) {
    char line[4096] = "";
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command, "r"), pclose);
    EXPECT_TRUE(pipe && fgets(line, sizeof line, pipe.get())) << command;
    return line;
}

// Language codes with a tag; all other codes from 0 to 500 have none.
const char kLanguageTags[] =
    "0 cs, 2 da, 5 de, 6 en, 7 es, 8 el, 9 fr, 10 hr, 11 sb, 12 it, 13 hu, 14 nl, 15 no, "
    "16 pl, 17 pt, 18 ru, 19 ro, 20 sl, 21 sr, 22 fi, 23 sv, 24 bg, 25 sk, 26 zh, 28 gd, "
    "30 cy, 31 ar, 32 ga, 33 lv, 34 he, 35 tr, 36 et, 37 nl, 38 ko, 40 hi, 43 zh-cn, "
    "44 zh-hk, 45 mi, 56 aa, 58 af, 61 ak, 63 sq, 68 am, 75 hy, 77 as, 78 ast, 86 az, "
    "95 bas, 96 ba, 97 eu, 99 bem, 107 bs, 109 br, 112 my, 113 byn, 117 ca, 124 cd-ru, "
    "125 chr, 134 kw, 135 co, 151 dv, 155 dua, 158 dz, 167 eo, 168 ee, 169 ewo, 172 fo, "
    "174 fil, 181 fy, 182 ff, 183 fur, 186 lg, 189 ka, 199 kl, 200 gn, 202 gu, 206 ha, "
    "207 haw, 214 is, 217 ig, 223 id, 224 ia, 226 iu, 232 ja, 233 jv, 237 kab, 239 kam, "
    "240 kn, 244 ks, 246 kk, 249 km, 252 ki, 253 rw, 258 kok, 265 ku, 273 lo, 278 ln, "
    "279 lt, 285 luo, 287 mk, 292 mg, 293 ms, 296 ml, 297 mt, 302 gv, 303 mr, 308 mas, "
    "315 moh, 319 mn, 330 ne, 345 nyn, 350 om, 362 fa, 370 quz, 377 rn, 381 sma, 382 se, "
    "383 sms, 384 smj, 385 smn, 389 sg, 390 sa, 403 sn, 414 so, 416 dsb, 419 st, "
    "420 st-ls, 430 syr, 434 tg, 437 ta, 438 tt, 440 te, 442 th, 443 bo, 444 tig, "
    "445 ti, 456 ts, 461 tk, 468 uk, 470 ur, 471 uz-arab, 472 vai, 473 ve, 474 vi, "
    "475 vo, 481 wo, 483 xh, 488 yo, 495 zu, 498 ca-valencia";

// A read against the code it should give and its value when it answers; a
// failed read leaves the variable alone.
template <typename T>
void expectRead(const Read<T> &r, int rc, const T &value) {
    EXPECT_EQ(r.rc, rc);
    EXPECT_EQ(r.untouched, rc != PROPERTY_OK);
    if (rc == PROPERTY_OK) {
        EXPECT_EQ(r.value, value);
    }
}

}  // namespace

TEST(ShellCommand, KeepsTheFirstLineOrFailsOnNoOutput) {
    const std::string a300(300, 'a');
    const std::string b254(254, 'b');
    struct Case {
        std::string command;
        int rc;
        std::string output;  // "untouched": the output text is left alone
        std::string printed;
    };
    const Case cases[] = {
        {"printf 'one\\ntwo\\n'", PROPERTY_OK, "one\n", ""},
        {"printf '  blanks kept \\t'", PROPERTY_OK, "  blanks kept \t", ""},
        {"echo printed; exit 3", PROPERTY_OK, "printed\n", ""},
        {"echo " + b254, PROPERTY_OK, b254 + "\n", ""},
        // Longer than 255 characters: the first 255, without the line feed.
        {"echo " + a300 + "; echo second", PROPERTY_OK, a300.substr(0, 255), ""},
        {"echo out; echo err >&2", PROPERTY_OK, "out\n", ""},
        {"true", PROPERTY_UNAVAILABLE, "untouched", "fgets failed for $s\n"},
        // Only descriptors 0 to 2 reach the shell (3 is ls's own listing),
        // and it runs in the C locale.
        {"ls -x -w 200 /proc/self/fd", PROPERTY_OK, "0  1  2  3\n", ""},
        {"echo $LC_ALL", PROPERTY_OK, "C\n", ""},
    };
    // Neither an open descriptor nor the caller's locale is handed on.
    const int inherited = open("/dev/null", O_RDONLY);
    ASSERT_GE(inherited, 0);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.command);
        int rc = 0;
        std::string output = "untouched";
        EXPECT_EQ(captureStdout([&] { rc = velquar::runShellCommand(k.command, output); }),
                  k.printed);
        EXPECT_EQ(rc, k.rc);
        EXPECT_EQ(output, k.output);
    }
    unsetenv("LC_ALL");
    close(inherited);
}

// While a command runs, whatever the runner holds open is close-on-exec: a
// program the application starts meanwhile on another thread inherits none
// of it (nor keeps the command's output pipe open).
TEST(ShellCommand, HoldsOnlyCloseOnExecDescriptors) {
    const std::vector<int> before = openDescriptors();
    std::string output;
    int rc = -1;
    std::thread reader([&] { rc = velquar::runShellCommand("sleep 0.5; echo done", output); });
    usleep(250000);
    int held = 0;
    for (int fd : openDescriptors()) {
        if (!std::binary_search(before.begin(), before.end(), fd)) {
            ++held;
            EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << "descriptor " << fd;
        }
    }
    reader.join();
    EXPECT_GT(held, 0);
    EXPECT_EQ(rc, PROPERTY_OK);
    EXPECT_EQ(output, "done\n");
    EXPECT_EQ(openDescriptors(), before);
}

TEST(System, ShellBackedValuesMatchTheCommandsHere) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    Read<std::string> osName, osVersion;
    Read<long long> total, available;
    EXPECT_EQ(captureStdout([&] {
                  osName = readString(ctx.get(), "osName");
                  osVersion = readString(ctx.get(), "osVersion");
                  total = readInt64(ctx.get(), "totalMemory");
                  available = readInt64(ctx.get(), "availableMemory");
              }),
              "");
    expectRead(osName, PROPERTY_OK, firstLine("uname -o"));
    expectRead(osVersion, PROPERTY_OK, firstLine("uname -a"));
    expectRead(total, PROPERTY_OK, atoll(firstLine("free | grep Mem | awk '{print $2}'").c_str()));
    // Free memory moves while the suite runs; it stays within the total.
    EXPECT_EQ(available.rc, PROPERTY_OK);
    const long long now = atoll(firstLine("free | grep Mem | awk '{print $4}'").c_str());
    EXPECT_GT(available.value, 0);
    EXPECT_LE(available.value, total.value);
    EXPECT_LT(llabs(available.value - now), total.value / 4);
}

// free as the commands find it on PATH. One that is translated unless
// LC_ALL=C still gives the figures; one that prints nothing gives none.
TEST(System, MemoryFromFreeInTheCLocale) {
    const std::string translated =
        "if [ \"$LC_ALL\" != C ]; then echo 'Speicher: 16000 4000 9000'; exit; fi\n"
        "echo '              total        used        free'\n"
        "echo 'Mem:          16000        4000        9000'";
    struct Case {
        std::string free;  // the script's body
        int rc;
        long long total, available;
        const char *printed;
    };
    const Case cases[] = {
        {translated, PROPERTY_OK, 16000, 9000, ""},
        {"exit 0", PROPERTY_UNAVAILABLE, 0, 0, "fgets failed for $s\nfgets failed for $s\n"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    setenv("LANGUAGE", "de", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.free);
        fakeCommand(device.dir(), "free", k.free);
        Read<long long> total, available;
        EXPECT_EQ(captureStdout([&] {
                      total = readInt64(ctx.get(), "totalMemory");
                      available = readInt64(ctx.get(), "availableMemory");
                  }),
                  k.printed);
        expectRead(total, k.rc, k.total);
        expectRead(available, k.rc, k.available);
    }
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
}

TEST(System, ConnectionStrengthFromTheWirelessTable) {
    const std::string header =
        "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
        " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n";
    auto table = [&](const std::string &quality) {
        return header + " wlan0: 0000   " + quality +
               "  -40.  -256        0      0      0      0      0        0\n";
    };
    struct Case {
        std::string medium;    // the stand-in's state
        std::string wireless;  // contents of /proc/net/wireless; "-" for none
        int rc;
        int value;
        const char *printed;
    };
    const Case cases[] = {
        // Wired or disconnected: the table is not read.
        {"medium = 0", table("42."), PROPERTY_OK, 0, ""},
        {"medium = 1", table("42."), PROPERTY_OK, 100, ""},
        {"medium = 3", table("70."), PROPERTY_OK, 70, ""},
        {"medium = 2", table("150."), PROPERTY_OK, 150, ""},
        {"medium = 2", table("abc"), PROPERTY_OK, 0, ""},
        {"medium = 2", table("99999999999."), PROPERTY_OK, INT_MAX, ""},
        {"medium = 2", header, PROPERTY_UNAVAILABLE, 0, "fgets failed for $s\n"},
        {"medium = 2", "-", PROPERTY_UNAVAILABLE, 0, "fgets failed for $s\n"},
        {"medium.result = 3\nmedium = 1", table("42."), PROPERTY_UNAVAILABLE, 0,
         "AppIpcApi_GetCurrentMediumType() failed err:3\n"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    RootView view = runInRootView({"proc"}, [&] {
        for (const Case &k : cases) {
            SCOPED_TRACE(k.medium + ": " + k.wireless);
            unlink("/proc/net/wireless");
            if (k.wireless != "-") {
                writeFile("/proc/net/wireless", k.wireless);
            }
            device.setState(k.medium + "\n");
            Read<int> r;
            EXPECT_EQ(captureStdout([&] { r = readInt32(ctx.get(), "networkConnectionStrength"); }),
                      k.printed);
            expectRead(r, k.rc, k.value);
        }
    });
    if (view == RootView::NotPermitted) {
        GTEST_SKIP() << "no private mount namespace for /proc/net/wireless here";
    }
}

TEST(System, EveryLanguageCode) {
    std::map<int, std::string> tags;
    std::istringstream in(kLanguageTags);
    int number;
    std::string text;
    while (in >> number >> text) {
        tags[number] = text.substr(0, text.find(','));
    }
    ASSERT_EQ(tags.size(), 150u);
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (int code = -1; code <= 501; ++code) {
        device.setState("language = " + std::to_string(code) + "\n");
        Read<std::string> r;
        std::string printed = captureStdout([&] { r = readString(ctx.get(), "deviceLanguage"); });
        SCOPED_TRACE(code);
        const bool known = tags.count(code) != 0;
        expectRead(r, known ? PROPERTY_OK : 1, known ? tags[code] : std::string());
        const std::string why = code >= 0 && code <= 500
                                    ? "failed to get language string for language code:"
                                    : "return invalid language code:";
        EXPECT_EQ(printed,
                  known ? "" : "AppIpcApi_GetLanguage() " + why + std::to_string(code) + "\n");
    }
    device.setState("language.result = 4\nlanguage = 6\n");
    Read<std::string> r;
    EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), "deviceLanguage"); }),
              "AppIpcApi_GetLanguage() failed err:4\n");
    expectRead(r, 1, std::string());
}
