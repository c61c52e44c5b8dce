/*
 * com.orvane.velquar.platform: named device properties for the streaming
 * application.
 *
 * A context is created once, read any number of times and released once.
 * Each property has one type and is read only through the function of that
 * type. Every function returns one of the result codes below, with one
 * exception: a read of "deviceLanguage" that fails returns 1 (see
 * GetStringProperty). No function lets a C++ exception out.
 *
 * Threads, signals and cancellation: what a caller may rely on.
 *   - Any number of contexts may be live at once, and they may be created,
 *     read and released on any threads at any time. Each context answers
 *     from the platform snapshot its own creation fetched; no other creation
 *     or release changes or frees it.
 *   - Reads on one context may run at the same time on several threads. A
 *     context is released exactly once, and not while a read on it is
 *     running or afterwards.
 *   - The configuration file is loaded once per process, by the first
 *     configuration-backed read, whichever thread makes it; other threads
 *     making such a read meanwhile wait for it.
 *   - fork() never waits for the library, and the load holds no lock while
 *     it calls the platform or writes through std::cout. A child forked by
 *     another thread while the load runs loads afresh at its first
 *     configuration read (and prints the path line again); a child forked
 *     after the load answers from the store loaded before the fork. The
 *     thread that runs the load may itself fork: its child goes on with it.
 *   - The path and load failure lines go through std::cout's buffer, not
 *     touching the stream: its state, exception mask and width stay as the
 *     application left them, whatever the write meets; a failed write costs
 *     no answer and throws nothing.
 *   - The library starts no thread and installs no signal handler. A signal
 *     that the application handles does not cut a call short: the
 *     input-source wait still keeps its 200 ms between tries, and a shell
 *     read resumes.
 *   - Cancellation: the calls may be cancellation points (the creation
 *     wait, shell reads, output). A thread cancelled inside the library
 *     unwinds cleanly through it and releases what the call held; a
 *     creation that is cancelled leaves *context unwritten and allocates
 *     nothing that outlives it; a read that is cancelled leaves its context
 *     usable. The media-player session, each INI file load and the
 *     configuration file's one load run to their end; a cancellation that
 *     comes in meanwhile is acted on at the next cancellation point.
 *   - Descriptors: everything the library opens is close-on-exec, so the
 *     application's children inherit none of it; the library's shell
 *     commands run with only descriptors 0, 1 and 2 and in the C locale
 *     (LC_ALL=C). Every descriptor the library keeps is 3 or above. The one
 *     exception is iniparser's own stream, open by name only while it parses
 *     the private copy of an INI file: it takes the lowest free descriptor,
 *     read-only, and a child that another thread forks meanwhile inherits it.
 */
#ifndef VELQUAR_PLATFORM_H
#define VELQUAR_PLATFORM_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PROPERTY_OK 0                                /* success */
#define PROPERTY_NOT_FOUND ((int)0x80000001u)        /* name not in the catalogue */
#define PROPERTY_TYPE_MISMATCH ((int)0x80000003u)    /* property has another type */
#define PROPERTY_INVALID_ARGUMENT ((int)0x80000006u) /* a required pointer is null */
#define PROPERTY_BUFFER_TOO_SMALL ((int)0x80000007u) /* string read: *size holds the need */
#define PROPERTY_UNAVAILABLE ((int)0x80000010u)      /* the value cannot be obtained */

/* Opaque handle to a context. */
typedef struct DevicePropertiesProviderContext DevicePropertiesProviderContext;

#if defined(VELQUAR_PLATFORM_BUILD)
#define VELQUAR_API __attribute__((visibility("default")))
#else
#define VELQUAR_API
#endif

/*
 * Creates a context and stores it in *context. Fetches the platform snapshot
 * first, which can block the caller for about 10 seconds while the
 * television settles on its input source. Returns PROPERTY_OK, or
 * PROPERTY_INVALID_ARGUMENT when context is null, or PROPERTY_UNAVAILABLE
 * when memory ran out; *context is written only on success.
 */
VELQUAR_API int CreateDevicePropertiesProviderContext(DevicePropertiesProviderContext **context);

/*
 * Releases a context. Returns PROPERTY_OK, or PROPERTY_INVALID_ARGUMENT for a
 * null context. A context is released exactly once and not used afterwards.
 */
VELQUAR_API int ReleaseDevicePropertiesProviderContext(DevicePropertiesProviderContext *context);

/*
 * Reads a string property. On input *size is the capacity of value in bytes,
 * room for the terminating NUL included. Once the property's getter has
 * produced the text, *size is set to its length plus one, and:
 *   - when it fits, the text and its NUL are copied and PROPERTY_OK returned;
 *   - when it does not (a negative capacity never fits),
 *     PROPERTY_BUFFER_TOO_SMALL is returned and value is not written.
 * So a caller may pass capacity 0 and a null value to learn the size. On any
 * other failure *size and value are left as they were.
 * "deviceLanguage" alone fails with 1, not PROPERTY_UNAVAILABLE, when the
 * language service fails or its code has no tag: test for PROPERTY_OK, not
 * for the named failures.
 */
VELQUAR_API int GetStringProperty(DevicePropertiesProviderContext *context, const char *name,
                                  char *value, int *size);

/* Reads a boolean property into *value (written 0 or 1, only on success). */
VELQUAR_API int GetBoolProperty(DevicePropertiesProviderContext *context, const char *name,
                                bool *value);

/* Reads a 32-bit integer property into *value. */
VELQUAR_API int GetInt32Property(DevicePropertiesProviderContext *context, const char *name,
                                 int *value);

/* Reads a 64-bit integer property into *value. */
VELQUAR_API int GetInt64Property(DevicePropertiesProviderContext *context, const char *name,
                                 long long *value);

#ifdef __cplusplus
}
#endif

#endif /* VELQUAR_PLATFORM_H */
