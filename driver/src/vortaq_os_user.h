/*
 * The OS layer of the user-space build (see vortaq_os.h): the driver's logic runs in a test process against a
 * simulated engine. Registers are plain memory accessed atomically; a register write calls the simulator's hook.
 * "Bus addresses" are the process's own addresses. The faults a test can provoke are in struct vq_user_faults.
 */
#ifndef VORTAQ_OS_USER_H
#define VORTAQ_OS_USER_H

#include <errno.h>
#include <pthread.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int32_t s32;

#define __iomem
#define PAGE_SIZE 4096u

typedef void *vq_iomem;

#define container_of(pointer, type, member) ((type *)((char *)(pointer) - offsetof(type, member)))

struct list_head {
	struct list_head *next, *prev;
};

static inline void INIT_LIST_HEAD(struct list_head *list) { list->next = list->prev = list; }
static inline bool list_empty(const struct list_head *list) { return list->next == list; }

static inline void list_add_tail(struct list_head *entry, struct list_head *list)
{
	entry->prev = list->prev;
	entry->next = list;
	list->prev->next = entry;
	list->prev = entry;
}

static inline void list_del_init(struct list_head *entry)
{
	entry->prev->next = entry->next;
	entry->next->prev = entry->prev;
	INIT_LIST_HEAD(entry);
}

#define list_first_entry(list, type, member) container_of((list)->next, type, member)

/* A PCI function: its configuration space. */
typedef struct vq_user_pci_dev {
	u8 config[4096];
} vq_pci_dev;

typedef struct {
	pthread_mutex_t mutex;
} vq_spinlock;

typedef struct {
	pthread_mutex_t mutex;
} vq_mutex;

typedef struct {
	pthread_mutex_t mutex;
	pthread_cond_t changed;
} vq_waitq;

typedef struct {
	pthread_mutex_t running;
	void (*function)(unsigned long);
	unsigned long data;
} vq_tasklet;

/* A text file's contents as they are formatted; text is NUL-terminated, free it with vq_seq_release. */
typedef struct vq_user_seq {
	char *text;
	size_t length;
} vq_seq;

#define VQ_EINTERRUPTED (-EINTR)

struct vq_segment {
	u64 bus;
	u32 length;
};

struct vq_pinned {
	u32 numPages;
	bool deviceWrites;
	struct vq_segment *segments;
	u32 numSegments;
};

/* What the next calls of the OS layer do wrong, for tests; all zero is a sound machine. */
struct vq_user_faults {
	int failPin;              /* the next pins fail with -EFAULT */
	int zeroBusAddress;       /* the next pins map their first segment to bus address 0 */
	int failAllocationsAfter; /* when > 0: that many allocations succeed, then every further one fails */
	int signalPending;        /* the next waits end as if a signal arrived */
	bool notAdmin;            /* the caller lacks the administrator's capability */
	u64 userBase, userLength; /* when userLength > 0: the only addresses a caller's copy or pin may touch */
	void (*afterCopyFromUser)(void *context); /* called after each copy from the caller, as if it ran beside */
	void *afterCopyFromUserContext;
};
extern struct vq_user_faults vq_faults;

/* Called after every register write; the engine simulator installs it. */
extern void (*vq_register_written)(void *context, vq_iomem address);
extern void *vq_register_written_context;

static inline u8 vq_read8(vq_iomem window, u32 offset) { return __atomic_load_n((u8 *)window + offset, __ATOMIC_ACQUIRE); }
static inline u16 vq_read16(vq_iomem window, u32 offset)
{
	return __atomic_load_n((u16 *)((u8 *)window + offset), __ATOMIC_ACQUIRE);
}
static inline u32 vq_read32(vq_iomem window, u32 offset)
{
	return __atomic_load_n((u32 *)((u8 *)window + offset), __ATOMIC_ACQUIRE);
}

static inline u32 vq_dma_read32(const u32 *word) { return __atomic_load_n(word, __ATOMIC_ACQUIRE); }

void vq_write8(vq_iomem window, u32 offset, u8 value);
void vq_write16(vq_iomem window, u32 offset, u16 value);
void vq_write32(vq_iomem window, u32 offset, u32 value);

void *vq_zalloc(size_t size);
void vq_free(const void *memory);
void *vq_dma_alloc_coherent(vq_pci_dev *dev, size_t size, u64 *bus);
void vq_dma_free_coherent(vq_pci_dev *dev, size_t size, void *memory, u64 bus);
int vq_pci_read_config_byte(vq_pci_dev *dev, u32 offset, u8 *value);
int vq_pci_write_config_byte(vq_pci_dev *dev, u32 offset, u8 value);
int vq_copy_from_user(void *to, u64 from, size_t bytes);
int vq_copy_to_user(u64 to, const void *from, size_t bytes);
bool vq_capable_admin(void);

void vq_spin_init(vq_spinlock *lock);
unsigned long vq_spin_lock(vq_spinlock *lock);
void vq_spin_unlock(vq_spinlock *lock, unsigned long flags);

void vq_mutex_init(vq_mutex *lock);
void vq_mutex_lock(vq_mutex *lock);
void vq_mutex_unlock(vq_mutex *lock);

void vq_waitq_init(vq_waitq *queue);
void vq_wake_all(vq_waitq *queue);
long vq_wait(vq_waitq *queue, bool (*done)(void *), void *arg, u32 timeout_ms);

void vq_tasklet_init(vq_tasklet *tasklet, void (*function)(unsigned long), unsigned long data);
void vq_tasklet_schedule(vq_tasklet *tasklet);
void vq_tasklet_kill(vq_tasklet *tasklet);

void vq_udelay(unsigned long microseconds);

void vq_seq_printf(vq_seq *seq, const char *format, ...) __attribute__((format(printf, 2, 3)));
void vq_seq_release(vq_seq *seq);

int vq_pin_user_pages(vq_pci_dev *dev, u64 address, u64 length, bool deviceWrites, struct vq_pinned *pinned);
void vq_unpin_user_pages(vq_pci_dev *dev, struct vq_pinned *pinned);

#ifdef __cplusplus
}
#endif

#endif /* VORTAQ_OS_USER_H */
