// The property catalogue: every name of the interface bound to its getter,
// from the one property list.
#include <iterator>
#include <utility>

#include "platform_device_properties_provider.h"
#include "property_list.h"

namespace velquar {
namespace {

template <typename T>
constexpr int tagOf(PropertyEntry::Getter<T>) {
    return PropertyEntry::getType<T>();
}

// A row whose type is not its getter's value type does not build.
#define VELQUAR_CHECK_GETTER(name, type, getter)                                                  \
    static_assert(                                                                                \
        tagOf(&PlatformDevicePropertiesProvider::getter) == static_cast<int>(PropertyType::type), \
        name " is listed with a type other than its getter's");
VELQUAR_PROPERTY_LIST(VELQUAR_CHECK_GETTER)
#undef VELQUAR_CHECK_GETTER

}  // namespace

void PlatformDevicePropertiesProvider::getEntries(PropertyCatalogue &catalogue) {
    using P = PlatformDevicePropertiesProvider;
#define VELQUAR_CATALOGUE_ENTRY(name, type, getter) {name, PropertyEntry(&P::getter)},
    const std::pair<std::string, PropertyEntry> entries[] = {
        VELQUAR_PROPERTY_LIST(VELQUAR_CATALOGUE_ENTRY)};
#undef VELQUAR_CATALOGUE_ENTRY
    static_assert(std::size(entries) == kPropertyCount, "one entry per listed property");
    catalogue.insert(std::begin(entries), std::end(entries));
}

}  // namespace velquar
