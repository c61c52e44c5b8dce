// One catalogue entry: a property's value type and the getter that answers it.
#ifndef VELQUAR_PROPERTY_ENTRY_H
#define VELQUAR_PROPERTY_ENTRY_H

#include <string>

namespace velquar {

class PlatformDevicePropertiesProvider;

// Getters of every value type share one member-pointer representation;
// converting one there and back to its own type is the defined round trip,
// and the tag says which type that is.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"

class PropertyEntry {
public:
    template <typename T>
    using Getter = int (PlatformDevicePropertiesProvider::*)(T &) const;

    // The tag of a value type: bool 1, int 2, long long 3, string 4. Defined
    // for exactly these four types.
    template <typename T>
    static constexpr int getType();

    // The tag always follows from the getter's own value type.
    template <typename T>
    explicit PropertyEntry(Getter<T> typedGetter)
        : m_type(getType<T>()), m_getter(reinterpret_cast<AnyGetter>(typedGetter)) {}

    int getType() const { return m_type; }

    // The getter as one of type T; valid only when getType<T>() == getType().
    template <typename T>
    Getter<T> getter() const {
        return reinterpret_cast<Getter<T>>(m_getter);
    }

private:
    // Common representation of every getter, whatever its value type.
    using AnyGetter = void (PlatformDevicePropertiesProvider::*)();

    int m_type;
    AnyGetter m_getter;
};

#pragma GCC diagnostic pop

template <>
constexpr int PropertyEntry::getType<bool>() {
    return 1;
}
template <>
constexpr int PropertyEntry::getType<int>() {
    return 2;
}
template <>
constexpr int PropertyEntry::getType<long long>() {
    return 3;
}
template <>
constexpr int PropertyEntry::getType<std::string>() {
    return 4;
}

}  // namespace velquar

#endif
