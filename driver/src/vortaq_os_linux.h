/* The OS layer of the kernel build (see vortaq_os.h). */
#ifndef VORTAQ_OS_LINUX_H
#define VORTAQ_OS_LINUX_H

#include <linux/delay.h>
#include <linux/dma-mapping.h>
#include <linux/errno.h>
#include <linux/interrupt.h>
#include <linux/io.h>
#include <linux/list.h>
#include <linux/mutex.h>
#include <linux/pci.h>
#include <linux/scatterlist.h>
#include <linux/seq_file.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/types.h>
#include <linux/uaccess.h>
#include <linux/wait.h>
#include <linux/capability.h>

typedef void __iomem *vq_iomem;
typedef struct pci_dev vq_pci_dev;
typedef spinlock_t vq_spinlock;
typedef struct mutex vq_mutex;
typedef wait_queue_head_t vq_waitq;
typedef struct tasklet_struct vq_tasklet;
typedef struct seq_file vq_seq;

#define vq_seq_printf seq_printf

#define VQ_EINTERRUPTED (-ERESTARTSYS)

struct vq_segment {
	u64 bus;
	u32 length;
};

struct vq_pinned {
	struct page **pages;
	u32 numPages;
	struct sg_table table;
	bool mapped;
	bool deviceWrites;
	struct vq_segment *segments; /* the mapped entries */
	u32 numSegments;
};

static inline u8 vq_read8(vq_iomem window, u32 offset) { return ioread8(window + offset); }
static inline u16 vq_read16(vq_iomem window, u32 offset) { return ioread16(window + offset); }
static inline u32 vq_read32(vq_iomem window, u32 offset) { return ioread32(window + offset); }
static inline void vq_write8(vq_iomem window, u32 offset, u8 value) { iowrite8(value, window + offset); }
static inline void vq_write16(vq_iomem window, u32 offset, u16 value) { iowrite16(value, window + offset); }
static inline void vq_write32(vq_iomem window, u32 offset, u32 value) { iowrite32(value, window + offset); }

/* A word the engine writes into coherent memory; what the engine wrote before it is visible after it. */
static inline u32 vq_dma_read32(const u32 *word)
{
	u32 value = READ_ONCE(*word);

	dma_rmb();
	return value;
}

static inline void *vq_zalloc(size_t size) { return kzalloc(size, GFP_KERNEL); }
static inline void vq_free(const void *memory) { kfree(memory); }

static inline void *vq_dma_alloc_coherent(vq_pci_dev *dev, size_t size, u64 *bus)
{
	dma_addr_t handle;
	void *memory = dma_alloc_coherent(&dev->dev, size, &handle, GFP_KERNEL);

	*bus = handle;
	return memory;
}

static inline void vq_dma_free_coherent(vq_pci_dev *dev, size_t size, void *memory, u64 bus)
{
	dma_free_coherent(&dev->dev, size, memory, (dma_addr_t)bus);
}

static inline int vq_pci_read_config_byte(vq_pci_dev *dev, u32 offset, u8 *value)
{
	return pcibios_err_to_errno(pci_read_config_byte(dev, (int)offset, value));
}

static inline int vq_pci_write_config_byte(vq_pci_dev *dev, u32 offset, u8 value)
{
	return pcibios_err_to_errno(pci_write_config_byte(dev, (int)offset, value));
}

static inline int vq_copy_from_user(void *to, u64 from, size_t bytes)
{
	return copy_from_user(to, u64_to_user_ptr(from), bytes) ? -EFAULT : 0;
}

static inline int vq_copy_to_user(u64 to, const void *from, size_t bytes)
{
	return copy_to_user(u64_to_user_ptr(to), from, bytes) ? -EFAULT : 0;
}

static inline bool vq_capable_admin(void) { return capable(CAP_SYS_ADMIN); }

static inline void vq_spin_init(vq_spinlock *lock) { spin_lock_init(lock); }

static inline unsigned long vq_spin_lock(vq_spinlock *lock)
{
	unsigned long flags;

	spin_lock_irqsave(lock, flags);
	return flags;
}

static inline void vq_spin_unlock(vq_spinlock *lock, unsigned long flags) { spin_unlock_irqrestore(lock, flags); }

static inline void vq_mutex_init(vq_mutex *lock) { mutex_init(lock); }
static inline void vq_mutex_lock(vq_mutex *lock) { mutex_lock(lock); }
static inline void vq_mutex_unlock(vq_mutex *lock) { mutex_unlock(lock); }

static inline void vq_waitq_init(vq_waitq *queue) { init_waitqueue_head(queue); }
static inline void vq_wake_all(vq_waitq *queue) { wake_up_interruptible_all(queue); }

static inline long vq_wait(vq_waitq *queue, bool (*done)(void *), void *arg, u32 timeout_ms)
{
	long left = wait_event_interruptible_timeout(*queue, done(arg), msecs_to_jiffies(timeout_ms));

	return left > 0 ? 1 : left;
}

static inline void vq_tasklet_init(vq_tasklet *tasklet, void (*function)(unsigned long), unsigned long data)
{
	tasklet_init(tasklet, function, data);
}

static inline void vq_tasklet_schedule(vq_tasklet *tasklet) { tasklet_schedule(tasklet); }
static inline void vq_tasklet_kill(vq_tasklet *tasklet) { tasklet_kill(tasklet); }

static inline void vq_udelay(unsigned long microseconds) { udelay(microseconds); }

int vq_pin_user_pages(vq_pci_dev *dev, u64 address, u64 length, bool deviceWrites, struct vq_pinned *pinned);
void vq_unpin_user_pages(vq_pci_dev *dev, struct vq_pinned *pinned);

#endif /* VORTAQ_OS_LINUX_H */
