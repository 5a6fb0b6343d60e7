/*
 * plat_linux.cpp - the Linux hardware backend of korva32.
 *
 * Port operations are the processor's in/out instructions (<sys/io.h>). Linux grants
 * them to a process through iopl(3), which needs root or CAP_SYS_RAWIO. The backend
 * reports an NT 4 family system, so KORVA3_INITIAL opens the port-access driver by its
 * path; opening that path here means asking for iopl(3), and the open fails (result 1
 * of KORVA3_INITIAL) when the kernel refuses. Until access is granted no port is ever
 * touched: registration finds no card and every card function does nothing.
 * When the open fails, errno is what the kernel answered (EPERM: neither root nor
 * CAP_SYS_RAWIO; ENOSYS: a kernel built without iopl, where root does not help), and
 * nothing the library does before KORVA3_INITIAL returns changes it: callers report
 * strerror(errno).
 *
 * The millisecond clock is CLOCK_MONOTONIC; a message box is one line on standard error.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "port/platform.h"

#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#define HAVE_PORT_IO 1
#else
#define HAVE_PORT_IO 0
#endif

static int port_access; /* iopl(3) granted and not given back */

/* The handle that stands for granted port access. */
static const plat_handle PORT_ACCESS_HANDLE = 1;

void plat_out8(uint16_t port, uint8_t value)
{
#if HAVE_PORT_IO
    if (port_access)
        outb(value, port);
#else
    (void)port, (void)value;
#endif
}

void plat_out16(uint16_t port, uint16_t value)
{
#if HAVE_PORT_IO
    if (port_access)
        outw(value, port);
#else
    (void)port, (void)value;
#endif
}

void plat_out32(uint16_t port, uint32_t value)
{
#if HAVE_PORT_IO
    if (port_access)
        outl(value, port);
#else
    (void)port, (void)value;
#endif
}

uint8_t plat_in8(uint16_t port)
{
#if HAVE_PORT_IO
    if (port_access)
        return inb(port);
#endif
    (void)port;
    return 0xFF;
}

uint16_t plat_in16(uint16_t port)
{
#if HAVE_PORT_IO
    if (port_access)
        return inw(port);
#endif
    (void)port;
    return 0xFFFF;
}

int plat_ports_usable(void)
{
    return port_access;
}

uint32_t plat_clock_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

void plat_os_version(uint32_t *platform, uint32_t *major, uint32_t *minor)
{
    *platform = 2; /* NT family, version 4.0: port access through a driver path */
    *major = 4;
    *minor = 0;
}

static int is_driver_path(const char *path)
{
    return strcmp(path, "\\\\.\\klemnt") == 0 || strcmp(path, "\\\\.\\KLEMAT.VXD") == 0;
}

plat_handle plat_open_device(const char *path, int write_access)
{
    (void)write_access;
    if (!is_driver_path(path)) {
        errno = ENOENT;
        return PLAT_INVALID_HANDLE;
    }
#if HAVE_PORT_IO
    if (iopl(3) == 0) {
        port_access = 1;
        return PORT_ACCESS_HANDLE;
    }
    /* errno: the kernel's answer, left for the caller of KORVA3_INITIAL */
#else
    errno = ENOSYS; /* no port instructions on this processor */
#endif
    return PLAT_INVALID_HANDLE;
}

void plat_close_handle(plat_handle handle)
{
    if (handle != PORT_ACCESS_HANDLE || !port_access)
        return;
#if HAVE_PORT_IO
    iopl(0);
#endif
    port_access = 0;
}

int plat_find_card_interface(uint32_t index, char *path, size_t size)
{
    (void)index, (void)path, (void)size;
    return 0; /* no device interfaces here: port access comes from iopl */
}

void plat_message_box(const char *text, const char *caption)
{
    fprintf(stderr, "%s: %s\n", caption, text);
}

__attribute__((constructor)) static void korva_linux_attach(void)
{
    core_process_attach();
}
