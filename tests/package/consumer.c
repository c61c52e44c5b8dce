/* An application built against the installed library, as a firmware build
 * links it: reads panelWidth from the simulated television and prints it.
 * Exits 0 only when the value was read. */
#include <stdio.h>

#include <velquar_platform.h>

int main(void) {
    DevicePropertiesProviderContext *context = NULL;
    int width = 0;
    if (CreateDevicePropertiesProviderContext(&context) != PROPERTY_OK) {
        return 1;
    }
    const int result = GetInt32Property(context, "panelWidth", &width);
    ReleaseDevicePropertiesProviderContext(context);
    if (result != PROPERTY_OK) {
        return 1;
    }
    printf("panelWidth=%d\n", width);
    return 0;
}
