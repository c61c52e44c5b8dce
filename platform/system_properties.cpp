// System properties from shell commands and the language service.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "app_ipc.h"
#include "decimal.h"
#include "platform_calls.h"
#include "platform_device_properties_provider.h"
#include "shell_command.h"
#include "shell_lines.h"
#include "velquar_platform.h"

namespace velquar {
namespace {

const int kLanguageFailed = 1;

// Language codes of the service and their tags; every other code up to
// kLanguageSlots - 1 has none. Codes 14 and 37 both stand for "nl".
struct LanguageTag {
    int code;
    const char *tag;
};
constexpr LanguageTag kLanguageTags[] = {
    {0, "cs"},        {2, "da"},      {5, "de"},    {6, "en"},    {7, "es"},
    {8, "el"},        {9, "fr"},      {10, "hr"},   {11, "sb"},   {12, "it"},
    {13, "hu"},       {14, "nl"},     {15, "no"},   {16, "pl"},   {17, "pt"},
    {18, "ru"},       {19, "ro"},     {20, "sl"},   {21, "sr"},   {22, "fi"},
    {23, "sv"},       {24, "bg"},     {25, "sk"},   {26, "zh"},   {28, "gd"},
    {30, "cy"},       {31, "ar"},     {32, "ga"},   {33, "lv"},   {34, "he"},
    {35, "tr"},       {36, "et"},     {37, "nl"},   {38, "ko"},   {40, "hi"},
    {43, "zh-cn"},    {44, "zh-hk"},  {45, "mi"},   {56, "aa"},   {58, "af"},
    {61, "ak"},       {63, "sq"},     {68, "am"},   {75, "hy"},   {77, "as"},
    {78, "ast"},      {86, "az"},     {95, "bas"},  {96, "ba"},   {97, "eu"},
    {99, "bem"},      {107, "bs"},    {109, "br"},  {112, "my"},  {113, "byn"},
    {117, "ca"},      {124, "cd-ru"}, {125, "chr"}, {134, "kw"},  {135, "co"},
    {151, "dv"},      {155, "dua"},   {158, "dz"},  {167, "eo"},  {168, "ee"},
    {169, "ewo"},     {172, "fo"},    {174, "fil"}, {181, "fy"},  {182, "ff"},
    {183, "fur"},     {186, "lg"},    {189, "ka"},  {199, "kl"},  {200, "gn"},
    {202, "gu"},      {206, "ha"},    {207, "haw"}, {214, "is"},  {217, "ig"},
    {223, "id"},      {224, "ia"},    {226, "iu"},  {232, "ja"},  {233, "jv"},
    {237, "kab"},     {239, "kam"},   {240, "kn"},  {244, "ks"},  {246, "kk"},
    {249, "km"},      {252, "ki"},    {253, "rw"},  {258, "kok"}, {265, "ku"},
    {273, "lo"},      {278, "ln"},    {279, "lt"},  {285, "luo"}, {287, "mk"},
    {292, "mg"},      {293, "ms"},    {296, "ml"},  {297, "mt"},  {302, "gv"},
    {303, "mr"},      {308, "mas"},   {315, "moh"}, {319, "mn"},  {330, "ne"},
    {345, "nyn"},     {350, "om"},    {362, "fa"},  {370, "quz"}, {377, "rn"},
    {381, "sma"},     {382, "se"},    {383, "sms"}, {384, "smj"}, {385, "smn"},
    {389, "sg"},      {390, "sa"},    {403, "sn"},  {414, "so"},  {416, "dsb"},
    {419, "st"},      {420, "st-ls"}, {430, "syr"}, {434, "tg"},  {437, "ta"},
    {438, "tt"},      {440, "te"},    {442, "th"},  {443, "bo"},  {444, "tig"},
    {445, "ti"},      {456, "ts"},    {461, "tk"},  {468, "uk"},  {470, "ur"},
    {471, "uz-arab"}, {472, "vai"},   {473, "ve"},  {474, "vi"},  {475, "vo"},
    {481, "wo"},      {483, "xh"},    {488, "yo"},  {495, "zu"},  {498, "ca-valencia"}};

constexpr size_t kLanguageSlots = 501;
constexpr size_t kLanguageTagSize = 12;

// One fixed field per code, its first byte NUL when the code has no tag.
struct LanguageTable {
    char slots[kLanguageSlots][kLanguageTagSize];
};

constexpr bool languageTagsFit() {
    for (const LanguageTag &entry : kLanguageTags) {
        size_t length = 0;
        while (entry.tag[length] != '\0') {
            ++length;
        }
        if (entry.code < 0 || static_cast<size_t>(entry.code) >= kLanguageSlots || length == 0 ||
            length >= kLanguageTagSize) {
            return false;
        }
    }
    return true;
}
static_assert(languageTagsFit(), "every language tag fits its slot");
static_assert(sizeof kLanguageTags / sizeof kLanguageTags[0] == 150, "150 filled slots");

constexpr LanguageTable buildLanguageTable() {
    LanguageTable table{};
    for (const LanguageTag &entry : kLanguageTags) {
        for (size_t n = 0; entry.tag[n] != '\0'; ++n) {
            table.slots[entry.code][n] = entry.tag[n];
        }
    }
    return table;
}

constexpr LanguageTable kLanguageTable = buildLanguageTable();

// A memory figure as free prints it, in its own unit.
int readMemory(const char *command, long long &value) {
    std::string text;
    if (runShellCommand(command, text) != PROPERTY_OK) {
        return PROPERTY_UNAVAILABLE;
    }
    value = strtoll(text.c_str(), nullptr, 10);
    return PROPERTY_OK;
}

}  // namespace

int PlatformDevicePropertiesProvider::getOsName(std::string &value) const {
    return runShellCommand(kOsNameLine, value);
}

int PlatformDevicePropertiesProvider::getOsVersion(std::string &value) const {
    return runShellCommand(kOsVersionLine, value);
}

int PlatformDevicePropertiesProvider::getTotalMemory(long long &value) const {
    return readMemory(kTotalMemoryLine, value);
}

int PlatformDevicePropertiesProvider::getAvailableMemory(long long &value) const {
    return readMemory(kAvailableMemoryLine, value);
}

// A wired connection counts as full strength; on Wi-Fi the link quality of
// the first interface in the kernel's wireless table, as it is printed.
int PlatformDevicePropertiesProvider::getNetworkConnectionStrength(int &value) const {
    int32_t medium = 0;
    if (!currentMediumType(medium)) {
        return PROPERTY_UNAVAILABLE;
    }
    if (medium == kMediumNone) {
        value = 0;
        return PROPERTY_OK;
    }
    if (medium == kMediumFullStrength) {
        value = 100;
        return PROPERTY_OK;
    }
    std::string quality;
    if (runShellCommand(kWirelessQualityLine, quality) != PROPERTY_OK || quality.empty()) {
        return PROPERTY_UNAVAILABLE;
    }
    value = decimalToInt(quality.c_str());
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getDeviceLanguage(std::string &value) const {
    int32_t code = 0;
    int32_t rc = AppIpcApi_GetLanguage(&code);
    if (rc != 0) {
        printf("AppIpcApi_GetLanguage() failed err:%d\n", rc);
        return kLanguageFailed;
    }
    if (static_cast<uint32_t>(code) >= kLanguageSlots) {
        printf("AppIpcApi_GetLanguage() return invalid language code:%d\n", code);
        return kLanguageFailed;
    }
    const char *tag = kLanguageTable.slots[code];
    if (tag[0] == '\0') {
        printf("AppIpcApi_GetLanguage() failed to get language string for language code:%d\n",
               code);
        return kLanguageFailed;
    }
    value = tag;
    return PROPERTY_OK;
}

}  // namespace velquar
