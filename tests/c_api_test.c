/* The exported header used from C: creates a context, reads one property of
 * each scalar type and the size of a string, releases the context. Exits
 * non-zero at the first unexpected result. */
#include <stdio.h>

#include "velquar_platform.h"

#define CHECK(cond)                                 \
    do {                                            \
        if (!(cond)) {                              \
            fprintf(stderr, "failed: %s\n", #cond); \
            return 1;                               \
        }                                           \
    } while (0)

int main(void) {
    DevicePropertiesProviderContext *ctx = NULL;
    bool uhd = false;
    int width = 0;
    long long memory = 0;
    int size = 0;
    CHECK(CreateDevicePropertiesProviderContext(&ctx) == PROPERTY_OK && ctx != NULL);
    CHECK(GetBoolProperty(ctx, "supportsUHD", &uhd) == PROPERTY_OK && uhd);
    CHECK(GetInt32Property(ctx, "panelWidth", &width) == PROPERTY_OK && width == 3840);
    CHECK(GetInt64Property(ctx, "panelWidth", &memory) == PROPERTY_TYPE_MISMATCH);
    CHECK(GetStringProperty(ctx, "supportsUHD", NULL, &size) == PROPERTY_TYPE_MISMATCH);
    CHECK(GetBoolProperty(ctx, "SupportsUHD", &uhd) == PROPERTY_NOT_FOUND);
    CHECK(ReleaseDevicePropertiesProviderContext(ctx) == PROPERTY_OK);
    CHECK(ReleaseDevicePropertiesProviderContext(NULL) == PROPERTY_INVALID_ARGUMENT);
    return 0;
}
