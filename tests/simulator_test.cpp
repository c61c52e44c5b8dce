// The simulated television as the inspector meets it: what it cannot use
// in its state file is reported, and it answers as before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "emulator.h"
#include "sim_device.h"

using namespace velquar_test;

// The simulated television names on standard error, once per process
// however many stand-ins read the file, what in its state file it cannot
// use, and then answers as before: a misspelled key leaves the default.
TEST(Simulator, ReportsWhatItCannotUse) {
    struct Case {
        const char *state;
        // null: the device's own; in its folder "@/fifo" a FIFO, "@/SIZE" a
        // file of SIZE bytes that sets the panel width to 1280.
        const char *stateFile;
        const char *panelWidth;
        std::string reports;  // lines after "velquar simulator: "; @ is the state file
    };
    const std::string unread = "cannot read the state file \"@\": ",
                      asDefault = "; answering as the default television\n",
                      numbers = "expected 32-bit numbers separated by blanks or commas\n";
    const Case cases[] = {
        {"", "/nonexistent.state", "3840", unread + "No such file or directory" + asDefault},
        {"", "/", "3840", unread + "Is a directory" + asDefault},
        // Read only when a regular file of at most 4 MiB: not a device that
        // never ends, a FIFO without a writer or a larger file.
        {"", "/dev/zero", "3840", unread + "not a regular file" + asDefault},
        {"", "@/fifo", "3840", unread + "not a regular file" + asDefault},
        {"", "@/4194304", "1280", ""},
        {"", "@/4194305", "3840", unread + "larger than 4 MiB" + asDefault},
        {"capability.panle_width = 1920\n", nullptr, "3840",
         "@:1: unknown key \"capability.panle_width\"\n"},
        {"# a comment\n\ncapability.panel_width = 19x20\n", nullptr, "19",
         "@:3: cannot read \"19x20\" for capability.panel_width: expected a 32-bit number\n"},
        {"capability.panel_width = 1280\nmac = 00:11\ninput_source = 34, x\n", nullptr, "1280",
         "@:2: cannot read \"00:11\" for mac: expected 6 bytes as hex digits\n"
         "@:3: cannot read \"34, x\" for input_source: " +
             numbers},
        // A sequence of separators alone lists nothing to answer.
        {"input_source = , ,\n", nullptr, "3840",
         "@:1: cannot read \", ,\" for input_source: " + numbers},
        {"capability.hdr_flag1 = 256\ncapability.hex = 0g\napm.deliver = later\n", nullptr, "3840",
         "@:1: cannot read \"256\" for capability.hdr_flag1: expected a number from -128 to 255\n"
         "@:2: cannot read \"0g\" for capability.hex: expected 1 to 16 bytes as hex digits\n"
         "@:3: cannot read \"later\" for apm.deliver: expected join, is_resource_owner, thread "
         "or leave\n"},
        // One byte more than the record holds.
        {"audio.hex = 00000000000000000000000000000000000000000000000000\n", nullptr, "3840",
         "@:1: cannot read \"00000000000000000000000000000000000000000000000000\" for "
         "audio.hex: expected 1 to 24 bytes as hex digits\n"},
        {"apm.messages = 4 OTA | x OTA\nhdcp_version = 0x100000000\n", nullptr, "3840",
         "@:1: cannot read \"4 OTA | x OTA\" for apm.messages: expected messages \"CODE TEXT\" "
         "or \"CODE\" separated by |\n"
         "@:2: cannot read \"0x100000000\" for hdcp_version: expected a 32-bit number\n"},
        // What the file holds is shown with escapes, never as lines of its own.
        {"panel\\x1b\nwidth\"\n", nullptr, "3840",
         "@:1: no \"key = value\" in \"panel\\x5cx1b\"\n@:2: no \"key = value\" in "
         "\"width\\x22\"\n"},
        {"ke\ny = 1\n\x1b[2J = 2\n", nullptr, "3840",
         "@:1: no \"key = value\" in \"ke\"\n@:2: unknown key \"y\"\n"
         "@:3: unknown key \"\\x1b[2J\"\n"},
        // The records of a complete replay are known, and checked as bytes.
        {"shell.1.output.hex = 0g\nshell.17.command = uname -o\ncurl_ca_bundle_path.hex = 2\n",
         nullptr, "3840",
         "@:1: cannot read \"0g\" for shell.1.output.hex: expected 0 to 4096 bytes as hex digits\n"
         "@:2: unknown key \"shell.17.command\"\n"
         "@:3: cannot read \"2\" for curl_ca_bundle_path.hex: expected 0 to 4096 bytes as hex "
         "digits\n"},
        // Every key of the recorder's and the profiles' kind is known.
        {"capability.panel_width = 0x500\ncustomer.chipset.hex = 41:42\nproxy = h:1\n"
         "customer.model_name.unwritten = 1\nteec.invoke.origin = 3\napm.messages = 4 | 5 OTA\n"
         "shell.1.command = uname -o\nshell.1.output.hex =\nshell.16.output.hex = 0a\n"
         "curl_ca_bundle_path.set = 1\ncurl_ca_bundle_path.hex =\n"
         "mmplayer.option.hex = "
         "0000000000000000000000000000000000000000000000000000000000000000\n",
         nullptr, "1280", ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.state);
        SimDevice device(k.state);
        std::string stateFile = k.stateFile ? k.stateFile : device.dir() + "/device.state";
        if (stateFile == "@/fifo") {
            stateFile = device.dir() + "/fifo";
            ASSERT_EQ(mkfifo(stateFile.c_str(), 0600), 0);
        } else if (stateFile[0] == '@') {
            const std::string width = "capability.panel_width = 1280\n";
            const size_t size = std::stoul(stateFile.substr(2));
            stateFile = device.dir() + "/sized.state";
            std::ofstream(stateFile) << width << std::string(size - width.size() - 1, '#') << '\n';
        }
        ProgramRun run =
            runCommand(inspectorCommand({"VELQUAR_SIM_STATE=" + stateFile}) + " --value panelWidth",
                       device.dir() + "/stderr");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, std::string(k.panelWidth) + "\n");
        std::string reports, expected = k.reports;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);) {
            if (line.rfind("velquar simulator: ", 0) == 0) {
                reports += line.substr(strlen("velquar simulator: ")) + "\n";
            }
        }
        for (size_t at; (at = expected.find('@')) != std::string::npos;) {
            expected.replace(at, 1, stateFile);
        }
        EXPECT_EQ(reports, expected) << run.err;
    }
}
