/* The memory of a controller: RAM allocated in the controller, memory written and read in pieces that fit one
 * command, code started at an address, and flash programmed from a host buffer through a RAM staging area. All
 * commands are synchronous. The access width goes to the firmware unchanged. */
#ifndef QOR_COMMON_MEMORY_H
#define QOR_COMMON_MEMORY_H

#include "qor_types.h"

QOR_BEGIN_DECLS

#define QOR_COMMON_MEMORY_ALLOCATE_FLAGS_VALID 3u
/* Qor_Common_Memory_Execute: each flag bit goes to the firmware as a byte of 0 or 1. */
#define QOR_COMMON_MEMORY_EXECUTE_FLAGS_VALID 0xFu
/* The access width of the flash path's staging writes. */
#define QOR_COMMON_MEMORY_FLASH_STAGING_WIDTH 8u

/* *address: the start of `size` bytes of the controller's RAM. Flags other than 0 to 3 give 0x02010004. */
QOR_API uint32_t Qor_Common_Memory_Allocate(uint32_t port, uint32_t flags, uint32_t size, uint32_t* address);
/* Flags must be 0. */
QOR_API uint32_t Qor_Common_Memory_Free(uint32_t port, uint32_t flags, uint32_t address);
/* Starts the code at address with the argument; flags above 15 give 0x02010004. */
QOR_API uint32_t Qor_Common_Memory_Execute(uint32_t port, uint32_t flags, uint32_t address, uint32_t argument);
/* Writes length bytes in pieces of at most the port's maximum parameter length - 12. The first failing piece ends
 * the write with its code; the pieces before it stay written. A length of 0 sends nothing. */
QOR_API uint32_t Qor_Common_Memory_Write(uint32_t port, uint32_t address, uint8_t width, uint32_t length,
                                         const void* data);
/* Reads length bytes in pieces of at most the port's maximum parameter length - 8. The first failing piece ends the
 * read with its code (0x02010003 for an answer shorter than its piece); the pieces before it stay copied. */
QOR_API uint32_t Qor_Common_Memory_Read(uint32_t port, uint32_t address, uint8_t width, uint32_t length,
                                        void* buffer);
/* Stages the data in the controller's RAM, then programs length bytes at offset of the bank with the port's response
 * time-out set to `milliseconds`. Whatever happens after the allocation, the RAM is freed and the port's own
 * time-out is in force again when the call returns. The first failure's code is returned. The time-out holds for
 * the whole port meanwhile: other threads' commands on it see it too. */
QOR_API uint32_t Qor_Common_Memory_Flash_Write(uint32_t port, uint8_t bank, uint32_t offset, const void* data,
                                               uint32_t length, uint32_t milliseconds);

QOR_END_DECLS

#endif
