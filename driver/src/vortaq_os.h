/*
 * The driver's thin OS layer: the only services its logic uses. The kernel build maps them onto the kernel's own
 * (vortaq_os_linux.h); the user-space build, which tests the logic against a simulated engine, onto threads and
 * plain memory (vortaq_os_user.h). Both headers provide the same names:
 *
 * Types: u8 u16 u32 u64 s32, bool, struct list_head with its kernel helpers, vq_iomem (a register window),
 *   vq_pci_dev, vq_spinlock, vq_mutex, vq_waitq, vq_tasklet, struct vq_pinned (pinned and DMA-mapped user pages).
 * Registers: vq_read8/16/32 and vq_write8/16/32 (window, byte offset).
 * Memory: vq_dma_read32 reads a word the engine writes (its status elements), ordering what follows after it;
 *   vq_zalloc (process context, may sleep), vq_free; vq_dma_alloc_coherent, vq_dma_free_coherent.
 * PCI: vq_pci_read_config_byte, vq_pci_write_config_byte (0 or a negative errno).
 * Callers: vq_copy_from_user, vq_copy_to_user (0 or -EFAULT); vq_capable_admin (the caller may administer).
 * Locks: vq_spin_init; vq_spin_lock returns the saved interrupt state that vq_spin_unlock restores;
 *   vq_mutex_init, vq_mutex_lock, vq_mutex_unlock (process context).
 * Waits: vq_waitq_init; vq_wake_all; vq_wait (interruptible, bounded): 1 when done(arg) holds, 0 when timeout_ms
 *   passed, VQ_EINTERRUPTED when a signal ended it. done() may take a spin lock.
 * Tasklets: vq_tasklet_init, vq_tasklet_schedule (idempotent, never runs concurrently with itself), vq_tasklet_kill.
 * Pages: vq_pin_user_pages pins [address, address + length) for DMA towards the device or from it and maps it
 *   (0, -ENOMEM or -EFAULT); vq_pinned_segments and vq_pinned_segment read the mapped (bus address, length)
 *   entries; vq_unpin_user_pages unmaps, marks the pages dirty when the device wrote them, and unpins (process
 *   context only).
 * Time: vq_udelay.
 * Text files: vq_seq (the kernel's seq file) and vq_seq_printf appending formatted text to it; snprintf.
 */
#ifndef VORTAQ_OS_H
#define VORTAQ_OS_H

#ifdef __KERNEL__
#include "vortaq_os_linux.h"
#else
#include "vortaq_os_user.h"
#endif

#include "vortaq_abi.h"

#endif /* VORTAQ_OS_H */
