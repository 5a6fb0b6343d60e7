/*
 * platform.h - the one interface between the library and the system it runs on.
 *
 * Exactly one backend is linked into each build (src/platform/linux or .../win32 for
 * korva32, sim/backend for korva32sim); the library's own code includes no system header
 * and calls only these.
 */
#ifndef KORVA_PLATFORM_H
#define KORVA_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A system handle (a file handle on Windows); PLAT_INVALID_HANDLE when none. */
typedef intptr_t plat_handle;
#define PLAT_INVALID_HANDLE ((plat_handle)-1)

/* ---- Port operations ----------------------------------------------------------------
 * Each performs exactly one bus access of its width, in program order, with no caching
 * or merging. Reads return the value zero-extended. Callers touch ports only after
 * plat_ports_usable() has said yes. */
void     plat_out8(uint16_t port, uint8_t value);
void     plat_out16(uint16_t port, uint16_t value);
void     plat_out32(uint16_t port, uint32_t value); /* used only for 0xCF8 */
uint8_t  plat_in8(uint16_t port);
uint16_t plat_in16(uint16_t port);

/* 1 when this process may execute port operations now (the system granted access),
 * 0 when the first one would fault. Never crashes; cheap enough to ask before every
 * command (a backend that must probe caches the answer until access changes). */
int plat_ports_usable(void);

/* ---- Clock ----------------------------------------------------------------------------
 * Milliseconds since some start, wrapping modulo 2^32 (timeGetTime's contract). */
uint32_t plat_clock_ms(void);

/* ---- OS services --------------------------------------------------------------------- */

/* What the system reports at load: platform id (1 = Windows 95/98/Me family, 2 = NT
 * family), major and minor version. */
void plat_os_version(uint32_t *platform, uint32_t *major, uint32_t *minor);

/* Opens a device by path, existing only, no sharing. write_access 0 = read access,
 * 1 = read and write. Returns the handle, or PLAT_INVALID_HANDLE when it can't. */
plat_handle plat_open_device(const char *path, int write_access);

/* Closes a handle from plat_open_device; failures are ignored. */
void plat_close_handle(plat_handle handle);

/* Finds the index-th present device interface (counting from 0) of the card's
 * interface class {808ABAF9-A78B-4EEB-80CA-8F0FA9A616B2} and copies its device path,
 * NUL-terminated, into path[size]. Returns 1 when found and it fits, 0 otherwise
 * (no such interface, the lookup failed, or the path is size characters or longer). */
int plat_find_card_interface(uint32_t index, char *path, size_t size);

/* Shows a message box (no owner window, OK button only) and returns when it is closed. */
void plat_message_box(const char *text, const char *caption);

/* ---- Calls from the backend into the library ---------------------------------------- */

/* The library's process-attach hook: records the system version. Backends call it when
 * the library is loaded (DllMain, ELF constructor) and the virtual machine when its OS
 * stand-in changes. */
void core_process_attach(void);

/* Puts every library variable back to its value at load (as if freshly loaded; the
 * attach hook is not run). Used by the virtual machine's reset. */
void core_load_state(void);

#ifdef __cplusplus
}
#endif

#endif /* KORVA_PLATFORM_H */
