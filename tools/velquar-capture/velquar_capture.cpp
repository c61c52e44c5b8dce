// velquar-capture: records a television's platform answers as a state file
// that the simulated television replays.
//
// It loads the application IPC service and the media-player client by the
// names the library links them by, asks each getter once, read-only, the
// way the library asks (the input source as long as a context's creation
// would), and writes down every result code and what each call wrote:
// numbers as numbers, texts as texts where a state file can hold them, raw
// records as hex. A call that fails is data like any other.
#include <dlfcn.h>
#include <fcntl.h>
#include <iniparser.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app_ipc.h"
#include "printable.h"
#include "tevrin_mm_player.h"

namespace {

const char kAppIpc[] = "libAppIpc.so";
const char kMmPlayer[] = "libtevrin_mmplayer_ipc.so";

// What the library passes and presets, so that each call sees what it sees.
const int32_t kApplicationId = 5;
const char kCustomerSection[] = "Model";
const uint32_t kInputSourcePreset = 45;
const uint32_t kExpectedInputSource = 34;
const int kInputSourceTries = 50;
const long kInputSourceRetryNs = 200000000L;
const uint32_t kOptionHeader = 16;
const char kDefaultConfigPath[] = "/cusdata/applications/Orvane/config.ini";

// In a bundle: the state file, the configuration file beside it, and the
// device's own files under root/.
const char kStateName[] = "capture.state";
const char kConfigName[] = "config.ini";
const size_t kMaxCopy = 1 << 20;

// The platform's functions, bound by name. The media-player client is a C++
// class whose members take the object as their first argument.
struct Platform {
    int32_t (*getHdcpVersion)(int32_t *);
    int32_t (*getInputSource)(uint32_t *, int32_t);
    int32_t (*getCapability)(APPIPC_PLATFORM_CAPABILITY *);
    int32_t (*getAudio)(APPIPC_AUDIO_CAPABILITY *);
    int32_t (*getMedium)(int32_t *);
    int32_t (*getLanguage)(int32_t *);
    int32_t (*getMac)(uint8_t *, int32_t);
    int32_t (*getProxy)(char *, int32_t);
    int32_t (*getCustomer)(const char *, APPIPC_CUSTOMER_RECORD *);
    int32_t (*getConfigPath)(int32_t, char *);
    void (*construct)(Tevrin_MM_PlayerInterface *);
    void (*destroy)(Tevrin_MM_PlayerInterface *);
    int (*initialize)(Tevrin_MM_PlayerInterface *);
    int (*getOption)(Tevrin_MM_PlayerInterface *, ST_MMPLAYER_PARAM *);
    int (*finalize)(Tevrin_MM_PlayerInterface *);
};

// Bound as the dynamic linker binds the library's calls: the first
// definition in the process, so that a preloaded one is the one called.
template <typename F>
bool bind(const char *file, const char *symbol, F &fn) {
    fn = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, symbol));
    if (!fn) {
        fprintf(stderr, "velquar-capture: %s: %s\n", file, dlerror());
        return false;
    }
    return true;
}

bool loadPlatform(Platform &p) {
    if (!dlopen(kAppIpc, RTLD_NOW | RTLD_GLOBAL)) {
        fprintf(stderr, "velquar-capture: cannot load %s: %s\n", kAppIpc, dlerror());
        return false;
    }
    if (!dlopen(kMmPlayer, RTLD_NOW | RTLD_GLOBAL)) {
        fprintf(stderr, "velquar-capture: cannot load %s: %s\n", kMmPlayer, dlerror());
        return false;
    }
    return bind(kAppIpc, "AppIpcApi_GetHDCPVersion", p.getHdcpVersion) &&
           bind(kAppIpc, "AppIpcApi_GetCurrentInputSource", p.getInputSource) &&
           bind(kAppIpc, "AppIpcApi_QueryPlatformAllCapability", p.getCapability) &&
           bind(kAppIpc, "AppIpcApi_GetAudioCapability", p.getAudio) &&
           bind(kAppIpc, "AppIpcApi_GetCurrentMediumType", p.getMedium) &&
           bind(kAppIpc, "AppIpcApi_GetLanguage", p.getLanguage) &&
           bind(kAppIpc, "AppIpcApi_GetEthMacAddress", p.getMac) &&
           bind(kAppIpc, "AppIpcApi_GetProxy", p.getProxy) &&
           bind(kAppIpc, "AppIpcApi_GetCustomerIniSection", p.getCustomer) &&
           bind(kAppIpc, "AppIpcApi_GetAPPConfigFilePath", p.getConfigPath) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterfaceC1Ev", p.construct) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterfaceD1Ev", p.destroy) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterface13MM_InitializeEv", p.initialize) &&
           bind(kMmPlayer,
                "_ZN25Tevrin_MM_PlayerInterface18MM_GetOptionByParaEP17ST_MMPLAYER_PARAM",
                p.getOption) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterface11MM_FinalizeEv", p.finalize);
}

// One line on standard error per call, with its result.
void report(const char *call, int32_t rc, const std::string &more = std::string()) {
    fprintf(stderr, "velquar-capture: %s: %s%s\n", call, rc == 0 ? "ok" : "failed", more.c_str());
}

std::string failure(int32_t rc) {
    return " (code " + std::to_string(rc) + ")";
}

std::string hex(const void *data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    const unsigned char *p = static_cast<const unsigned char *>(data);
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

bool allZero(const void *data, size_t size) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// The text a field holds when a text key says it exactly: it ends in a NUL
// within the field, only NULs follow, and it has no control characters or
// edge blanks, which a state file line cannot keep.
bool sayableText(const void *data, size_t size, std::string &text) {
    const char *p = static_cast<const char *>(data);
    const size_t n = strnlen(p, size);
    if (n == size || !allZero(p + n, size - n)) {
        return false;
    }
    text.assign(p, n);
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

// The bytes of a field up to its last non-NUL byte and one NUL after it
// where the field has room: what the caller's cleared field then holds.
std::string fieldHex(const void *data, size_t size) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    size_t end = size;
    while (end > 0 && p[end - 1] == 0) {
        --end;
    }
    return hex(p, end < size ? end + 1 : size);
}

// The state file's lines, in the order the calls were made.
class StateText {
public:
    void comment(const std::string &text) { m_text += "# " + printable(text) + "\n"; }
    void key(const std::string &name, const std::string &value) {
        m_text += name + " = " + value + "\n";
    }
    void result(const std::string &call, int32_t rc) {
        if (rc != 0) {
            key(call + ".result", std::to_string(rc));
        }
    }
    // A number the call wrote: always after a success; after a failure only
    // when it differs from the preset, as an unwritten value reads the same.
    void number(const std::string &name, int32_t rc, long long value, long long preset) {
        if (rc == 0 || value != preset) {
            key(name, std::to_string(value));
        }
    }
    // A record the call wrote, whole, likewise.
    void record(const std::string &name, int32_t rc, const void *data, size_t size) {
        if (rc == 0 || !allZero(data, size)) {
            key(name + ".hex", hex(data, size));
        }
    }
    // A text field: as text where a line holds it, otherwise as its bytes.
    // A relative path is kept as bytes: the stand-in resolves a relative
    // text against the state file's folder.
    void text(const std::string &name, int32_t rc, const void *data, size_t size,
              bool path = false) {
        if (rc != 0 && allZero(data, size)) {
            return;
        }
        std::string value;
        if (sayableText(data, size, value) && (!path || value.empty() || value[0] == '/')) {
            key(name, value);
        } else {
            key(name + ".hex", fieldHex(data, size));
        }
    }
    const std::string &str() const { return m_text; }

private:
    std::string m_text;
};

// What the calls found out beyond the state file's lines, and the
// configuration path, whose line waits for the bundle.
struct Findings {
    std::string firmwareVersion = "unknown";
    int32_t configResult = 0;
    std::vector<char> configBuffer = std::vector<char>(APPIPC_CONFIG_PATH_SIZE);
    std::string configPath;  // the file the library loads
    bool configFromService = false;
};

void pauseBetweenTries() {
    timespec delay = {0, kInputSourceRetryNs};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

// The input source the way the library waits for it when a context is
// created: asked until it reports the expected source, up to 50 times,
// 200 ms apart. The answers are kept as a sequence, which the stand-in
// replays call by call.
void captureInputSource(const Platform &p, StateText &state) {
    uint32_t source = kInputSourcePreset;
    std::vector<uint32_t> seen;
    int32_t rc = 0;
    for (int attempt = 0; attempt < kInputSourceTries; ++attempt) {
        if (attempt > 0) {
            pauseBetweenTries();
        }
        rc = p.getInputSource(&source, 0);
        seen.push_back(source);
        if (source == kExpectedInputSource) {
            break;
        }
    }
    auto sequence = [&seen] {
        std::string text;
        for (size_t n = 0; n < seen.size(); ++n) {
            text += (n ? ", " : "") + std::to_string(seen[n]);
        }
        return text;
    };
    report("AppIpcApi_GetCurrentInputSource", rc,
           (rc ? failure(rc) : "") + ", " + std::to_string(seen.size()) +
               (seen.size() == 1 ? " call: " : " calls: ") + sequence());
    // The last answer repeats on replay, so repeats at the end say nothing.
    while (seen.size() > 1 && seen[seen.size() - 1] == seen[seen.size() - 2]) {
        seen.pop_back();
    }
    if (rc == 0 || seen.size() > 1 || seen[0] != kInputSourcePreset) {
        state.key("input_source", sequence());
    }
    state.result("input_source", rc);
}

// Initialise, get option 4, finalise, on a client that lives for the query.
void captureMediaPlayer(const Platform &p, StateText &state) {
    alignas(Tevrin_MM_PlayerInterface) unsigned char storage[sizeof(Tevrin_MM_PlayerInterface)];
    Tevrin_MM_PlayerInterface *client = reinterpret_cast<Tevrin_MM_PlayerInterface *>(storage);
    p.construct(client);
    int rc = p.initialize(client);
    report("MM_Initialize", rc, rc ? failure(rc) : "");
    state.result("mmplayer.initialize", rc);
    if (rc == 0) {
        TEVRIN_DECODER_OPTION option;
        memset(&option, 0, sizeof option);
        option.u32Header = kOptionHeader;
        TEVRIN_DECODER_OPTION preset = option;
        ST_MMPLAYER_PARAM param = {};
        param.u32Option = TEVRIN_OPTION_DECODER_CAPABILITY;
        param.u32OptionSize = sizeof option;
        param.pOption = &option;
        rc = p.getOption(client, &param);
        report("MM_GetOptionByPara", rc,
               rc ? failure(rc)
                  : ", decoder capability code " + std::to_string(option.u32DecoderCapability));
        state.result("mmplayer.get_option", rc);
        if (rc == 0 || memcmp(&option, &preset, sizeof option) != 0) {
            state.key("mmplayer.option.hex", hex(&option, sizeof option));
        }
        rc = p.finalize(client);
        report("MM_Finalize", rc, rc ? failure(rc) : "");
        state.result("mmplayer.finalize", rc);
    }
    p.destroy(client);
}

// Every getter once, in the order a context's creation and then the
// properties ask them. The configuration path is left to the caller.
void capture(const Platform &p, StateText &state, Findings &found) {
    int32_t hdcp = 0;
    int32_t rc = p.getHdcpVersion(&hdcp);
    report("AppIpcApi_GetHDCPVersion", rc, rc ? failure(rc) : ", " + std::to_string(hdcp));
    state.number("hdcp_version", rc, hdcp, 0);
    state.result("hdcp_version", rc);

    captureInputSource(p, state);

    APPIPC_PLATFORM_CAPABILITY capability;
    memset(&capability, 0, sizeof capability);
    rc = p.getCapability(&capability);
    report("AppIpcApi_QueryPlatformAllCapability", rc,
           rc ? failure(rc)
              : ", panel " + std::to_string(capability.panelWidth) + " x " +
                    std::to_string(capability.panelHeight));
    state.record("capability", rc, &capability, sizeof capability);
    state.result("capability", rc);

    captureMediaPlayer(p, state);

    APPIPC_AUDIO_CAPABILITY audio;
    memset(&audio, 0, sizeof audio);
    rc = p.getAudio(&audio);
    report("AppIpcApi_GetAudioCapability", rc, rc ? failure(rc) : "");
    state.record("audio", rc, &audio, sizeof audio);
    state.result("audio", rc);

    int32_t medium = 0;
    rc = p.getMedium(&medium);
    report("AppIpcApi_GetCurrentMediumType", rc, rc ? failure(rc) : ", " + std::to_string(medium));
    state.number("medium", rc, medium, 0);
    state.result("medium", rc);

    int32_t language = 0;
    rc = p.getLanguage(&language);
    report("AppIpcApi_GetLanguage", rc, rc ? failure(rc) : ", " + std::to_string(language));
    state.number("language", rc, language, 0);
    state.result("language", rc);

    uint8_t mac[APPIPC_MAC_SIZE] = {};
    rc = p.getMac(mac, APPIPC_MAC_SIZE);
    report("AppIpcApi_GetEthMacAddress", rc, rc ? failure(rc) : "");
    if (rc == 0 || !allZero(mac, sizeof mac)) {
        std::string text;
        for (size_t n = 0; n < sizeof mac; ++n) {
            text += (n ? ":" : "") + hex(mac + n, 1);
        }
        state.key("mac", text);
    }
    state.result("mac", rc);

    char proxy[APPIPC_PROXY_SIZE] = {};
    rc = p.getProxy(proxy, APPIPC_PROXY_SIZE);
    report("AppIpcApi_GetProxy", rc, rc ? failure(rc) : "");
    std::string proxyText;
    if (sayableText(proxy, sizeof proxy, proxyText)) {
        if (rc == 0 || !proxyText.empty()) {
            state.key("proxy", proxyText);
        }
    } else {
        state.key("proxy.hex", hex(proxy, sizeof proxy));
    }
    state.result("proxy", rc);

    std::vector<char> buffer(sizeof(APPIPC_CUSTOMER_RECORD));
    APPIPC_CUSTOMER_RECORD *customer = reinterpret_cast<APPIPC_CUSTOMER_RECORD *>(buffer.data());
    rc = p.getCustomer(kCustomerSection, customer);
    report("AppIpcApi_GetCustomerIniSection", rc, rc ? failure(rc) : "");
    state.text("customer.model_name", rc, customer->modelName, sizeof customer->modelName);
    state.text("customer.manufacturer", rc, customer->manufacturer, sizeof customer->manufacturer);
    state.text("customer.chipset", rc, customer->chipset, sizeof customer->chipset);
    state.text("customer.firmware_version", rc, customer->firmwareVersion,
               sizeof customer->firmwareVersion);
    state.result("customer", rc);
    if (rc == 0) {
        found.firmwareVersion.assign(
            customer->firmwareVersion,
            strnlen(customer->firmwareVersion, sizeof customer->firmwareVersion));
    }

    std::vector<char> &path = found.configBuffer;
    rc = found.configResult = p.getConfigPath(kApplicationId, path.data());
    // The library takes at most all but the buffer's last byte.
    std::string taken(path.data(), strnlen(path.data(), path.size() - 1));
    report("AppIpcApi_GetAPPConfigFilePath", rc, rc ? failure(rc) : ", " + printable(taken));
    found.configFromService = rc == 0 && !taken.empty();
    found.configPath = found.configFromService ? taken : kDefaultConfigPath;
}

bool writeAll(int fd, const std::string &data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// A device file as it is now: a regular file (or a kernel table that says
// it is one) of at most 1 MiB, read without blocking on anything else.
bool readDeviceFile(const std::string &path, std::string &data) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    char chunk[4096];
    while (error == 0) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0) {
            break;
        } else if (n < 0) {
            error = errno == EINTR ? 0 : errno;
        } else if (data.size() + static_cast<size_t>(n) > kMaxCopy) {
            error = EFBIG;
        } else {
            data.append(chunk, static_cast<size_t>(n));
        }
    }
    close(fd);
    errno = error;
    return error == 0;
}

// A new file in the bundle; the bundle's folders are all this run's own.
bool writeNewFile(int dir, const std::string &name, const std::string &data) {
    int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, data);
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}

// The bundle folder: the state file, the application's configuration file
// and copies of the device's files under root/, at their paths there.
class Bundle {
public:
    // Makes the folder, which must not exist yet, and its root/. Only its
    // owner may enter it: a device file the chain names may be anybody's.
    bool create(const std::string &path) {
        if (mkdir(path.c_str(), 0700) != 0) {
            return false;
        }
        m_dir = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        return m_dir >= 0 && mkdirat(m_dir, "root", 0755) == 0;
    }
    ~Bundle() {
        if (m_dir >= 0) {
            close(m_dir);
        }
    }
    int dir() const { return m_dir; }

    // The value of key in the INI file copied to root/ + path, read through
    // the folder's descriptor, whatever has become of its path meanwhile.
    std::string iniValue(const std::string &path, const char *key) const {
        const std::string copy = "/proc/self/fd/" + std::to_string(m_dir) + "/root" + path;
        dictionary *ini = iniparser_load(copy.c_str());
        if (!ini) {
            return std::string();
        }
        std::string value = iniparser_getstring(ini, key, "");
        iniparser_freedict(ini);
        return value;
    }

    // Copies the device file at an absolute path to root/ + path; false
    // when it was not copied. A path with "." or ".." in it is not.
    bool copyToRoot(const std::string &path) {
        if (!m_copied.insert(path).second) {
            return false;
        }
        std::vector<std::string> parts;
        bool sound = !path.empty() && path[0] == '/';
        for (size_t start = 1; sound && start < path.size();) {
            size_t end = std::min(path.find('/', start), path.size());
            const std::string part = path.substr(start, end - start);
            sound = part != "." && part != "..";
            if (!part.empty()) {
                parts.push_back(part);
            }
            start = end + 1;
        }
        std::string data;
        if (!sound || parts.empty()) {
            return note(path, "not an absolute path without . or ..", false);
        }
        if (!readDeviceFile(path, data)) {
            return note(path, strerror(errno), false);
        }
        parts.insert(parts.begin(), "root");
        int dir = dup(m_dir);
        for (size_t n = 0; dir >= 0 && n + 1 < parts.size(); ++n) {
            mkdirat(dir, parts[n].c_str(), 0755);
            int next =
                openat(dir, parts[n].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            close(dir);
            dir = next;
        }
        const bool ok = dir >= 0 && writeNewFile(dir, parts.back(), data);
        const std::string error = strerror(errno);
        if (dir >= 0) {
            close(dir);
        }
        return ok ? note(path, "copied to root" + path, true)
                  : note(path, "cannot copy: " + error, false);
    }

private:
    static bool note(const std::string &path, const std::string &what, bool copied) {
        fprintf(stderr, "velquar-capture: %s: %s\n", printable(path).c_str(), what.c_str());
        return copied;
    }

    int m_dir = -1;
    std::set<std::string> m_copied;
};

// Copies the application's configuration file beside the state file and
// the device files the library reads under root/. True when config.ini
// holds the application's configuration file.
bool fillBundle(Bundle &bundle, const Findings &found) {
    bool copied = false;
    std::string data;
    if (!found.configFromService) {
        bundle.copyToRoot(found.configPath);
    } else if (readDeviceFile(found.configPath, data) &&
               writeNewFile(bundle.dir(), kConfigName, data)) {
        fprintf(stderr, "velquar-capture: %s: copied to %s\n", printable(found.configPath).c_str(),
                kConfigName);
        copied = true;
    } else {
        fprintf(stderr, "velquar-capture: %s: cannot copy: %s\n",
                printable(found.configPath).c_str(), strerror(errno));
    }
    // The OLED chain: sys.ini names the model's file, which names the panel's.
    std::string file = "/config/sys.ini";
    for (const char *key : {"model:gModelName", "panel:m_pPanelName", ""}) {
        if (file.empty() || !bundle.copyToRoot(file) || !*key) {
            break;
        }
        file = bundle.iniValue(file, key);
    }
    bundle.copyToRoot("/proc/net/wireless");
    return copied;
}

// When and on what the capture was made, for the state file's head.
std::string header(const Findings &found) {
    StateText head;
    char when[64] = "an unknown time";
    time_t now = time(nullptr);
    struct tm utc;
    if (gmtime_r(&now, &utc)) {
        strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    }
    head.comment(std::string("A television recorded by velquar-capture on ") + when + ".");
    struct utsname system;
    if (uname(&system) == 0) {
        head.comment(std::string("uname -a: ") + system.sysname + " " + system.nodename + " " +
                     system.release + " " + system.version + " " + system.machine);
    }
    head.comment("Firmware version: " + found.firmwareVersion);
    head.comment("Replay: VELQUAR_SIM_STATE=<this file> velquar-props");
    return head.str();
}

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-capture [--bundle DIR]\n"
            "\n"
            "Asks the television's platform libraries (%s, %s)\n"
            "what the library asks them, once each and read-only, and writes a state\n"
            "file that the simulated television replays to the same answers, result\n"
            "codes included. One line per call goes to standard error.\n"
            "\n"
            "  --bundle DIR  make DIR (it must not exist) and write into it %s,\n"
            "                the application's configuration file as %s, and\n"
            "                copies of /config/sys.ini, the files it names and\n"
            "                /proc/net/wireless under DIR/root/\n"
            "  --help        show this help\n"
            "\n"
            "Without --bundle the state file goes to standard output.\n"
            "\n"
            "Exit status: 0 when every call was made, whatever it answered; 1 when\n"
            "a platform library cannot be loaded or the output not written; 2 for a\n"
            "bad option.\n",
            kAppIpc, kMmPlayer, kStateName, kConfigName);
}

}  // namespace

int main(int argc, char **argv) {
    const char *bundlePath = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--bundle" && i + 1 < argc && !bundlePath) {
            bundlePath = argv[++i];
        } else {
            fprintf(stderr, "velquar-capture: %s %s\n", arg.c_str(),
                    arg == "--bundle" ? "needs one folder" : "is not an option");
            usage(stderr);
            return 2;
        }
    }

    // Standard output carries the state file alone: whatever the platform's
    // libraries print goes to standard error.
    const int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if ((out < 0 && !bundlePath) || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        fprintf(stderr, "velquar-capture: cannot set standard output aside: %s\n", strerror(errno));
        return 1;
    }
    Platform platform{};
    if (!loadPlatform(platform)) {
        return 1;
    }
    Bundle bundle;
    if (bundlePath && !bundle.create(bundlePath)) {
        fprintf(stderr, "velquar-capture: cannot make %s: %s\n", bundlePath, strerror(errno));
        return 1;
    }
    StateText state;
    Findings found;
    capture(platform, state, found);
    // In a bundle the configuration path names the copy beside the state
    // file, which the stand-in finds there.
    if (bundlePath && fillBundle(bundle, found)) {
        state.comment("The application's configuration file, " + found.configPath +
                      " on the television:");
        state.key("config_path", kConfigName);
    } else {
        state.text("config_path", found.configResult, found.configBuffer.data(),
                   found.configBuffer.size(), true);
        state.result("config_path", found.configResult);
    }
    const std::string text = header(found) + state.str();
    const bool written =
        bundlePath ? writeNewFile(bundle.dir(), kStateName, text) : writeAll(out, text);
    if (!written) {
        fprintf(stderr, "velquar-capture: cannot write the state file: %s\n", strerror(errno));
        return 1;
    }
    return 0;
}
