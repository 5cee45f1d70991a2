/* The user-space OS layer of the driver (see vortaq_os_user.h). */
#include "vortaq_os.h"

#include <stdarg.h>
#include <stdlib.h>
#include <time.h>

struct vq_user_faults vq_faults;
void (*vq_register_written)(void *context, vq_iomem address);
void *vq_register_written_context;

static void vq_notify(vq_iomem address)
{
	if (vq_register_written)
		vq_register_written(vq_register_written_context, address);
}

void vq_write8(vq_iomem window, u32 offset, u8 value)
{
	__atomic_store_n((u8 *)window + offset, value, __ATOMIC_RELEASE);
	vq_notify((u8 *)window + offset);
}

void vq_write16(vq_iomem window, u32 offset, u16 value)
{
	__atomic_store_n((u16 *)((u8 *)window + offset), value, __ATOMIC_RELEASE);
	vq_notify((u8 *)window + offset);
}

void vq_write32(vq_iomem window, u32 offset, u32 value)
{
	__atomic_store_n((u32 *)((u8 *)window + offset), value, __ATOMIC_RELEASE);
	vq_notify((u8 *)window + offset);
}

static bool vq_allocation_allowed(void)
{
	int left = __atomic_load_n(&vq_faults.failAllocationsAfter, __ATOMIC_RELAXED);

	if (left <= 0)
		return left == 0;
	if (left == 1) {
		__atomic_store_n(&vq_faults.failAllocationsAfter, -1, __ATOMIC_RELAXED);
		return true;
	}
	__atomic_store_n(&vq_faults.failAllocationsAfter, left - 1, __ATOMIC_RELAXED);
	return true;
}

void *vq_zalloc(size_t size)
{
	return vq_allocation_allowed() ? calloc(1, size) : NULL;
}

void vq_free(const void *memory)
{
	free((void *)memory);
}

void *vq_dma_alloc_coherent(vq_pci_dev *dev, size_t size, u64 *bus)
{
	void *memory;

	(void)dev;
	if (!vq_allocation_allowed())
		return NULL;
	memory = aligned_alloc(64, (size + 63) & ~(size_t)63);
	if (memory)
		memset(memory, 0xA5, size); /* the kernel gives no zeroed memory either */
	*bus = (u64)(uintptr_t)memory;
	return memory;
}

void vq_dma_free_coherent(vq_pci_dev *dev, size_t size, void *memory, u64 bus)
{
	(void)dev;
	(void)size;
	(void)bus;
	free(memory);
}

int vq_pci_read_config_byte(vq_pci_dev *dev, u32 offset, u8 *value)
{
	if (offset >= sizeof(dev->config))
		return -EINVAL;
	*value = dev->config[offset];
	return 0;
}

int vq_pci_write_config_byte(vq_pci_dev *dev, u32 offset, u8 value)
{
	if (offset >= sizeof(dev->config))
		return -EINVAL;
	dev->config[offset] = value;
	return 0;
}

static bool vq_user_range(u64 address, size_t bytes)
{
	if (address == 0 || address + bytes < address)
		return false;
	if (vq_faults.userLength == 0)
		return true;
	return address >= vq_faults.userBase && bytes <= vq_faults.userLength &&
	       address - vq_faults.userBase <= vq_faults.userLength - bytes;
}

int vq_copy_from_user(void *to, u64 from, size_t bytes)
{
	if (!vq_user_range(from, bytes))
		return -EFAULT;
	memcpy(to, (const void *)(uintptr_t)from, bytes);
	if (vq_faults.afterCopyFromUser)
		vq_faults.afterCopyFromUser(vq_faults.afterCopyFromUserContext);
	return 0;
}

int vq_copy_to_user(u64 to, const void *from, size_t bytes)
{
	if (!vq_user_range(to, bytes))
		return -EFAULT;
	memcpy((void *)(uintptr_t)to, from, bytes);
	return 0;
}

bool vq_capable_admin(void)
{
	return !vq_faults.notAdmin;
}

void vq_spin_init(vq_spinlock *lock)
{
	pthread_mutex_init(&lock->mutex, NULL);
}

unsigned long vq_spin_lock(vq_spinlock *lock)
{
	pthread_mutex_lock(&lock->mutex);
	return 0;
}

void vq_spin_unlock(vq_spinlock *lock, unsigned long flags)
{
	(void)flags;
	pthread_mutex_unlock(&lock->mutex);
}

void vq_mutex_init(vq_mutex *lock)
{
	pthread_mutex_init(&lock->mutex, NULL);
}

void vq_mutex_lock(vq_mutex *lock)
{
	pthread_mutex_lock(&lock->mutex);
}

void vq_mutex_unlock(vq_mutex *lock)
{
	pthread_mutex_unlock(&lock->mutex);
}

void vq_waitq_init(vq_waitq *queue)
{
	pthread_condattr_t attributes;

	pthread_mutex_init(&queue->mutex, NULL);
	pthread_condattr_init(&attributes);
	pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
	pthread_cond_init(&queue->changed, &attributes);
	pthread_condattr_destroy(&attributes);
}

void vq_wake_all(vq_waitq *queue)
{
	pthread_mutex_lock(&queue->mutex);
	pthread_cond_broadcast(&queue->changed);
	pthread_mutex_unlock(&queue->mutex);
}

static u64 vq_now_ms(void)
{
	struct timespec now;

	clock_gettime(CLOCK_MONOTONIC, &now);
	return (u64)now.tv_sec * 1000u + (u64)now.tv_nsec / 1000000u;
}

static bool vq_take_signal(void)
{
	int pending = __atomic_load_n(&vq_faults.signalPending, __ATOMIC_ACQUIRE);

	while (pending > 0) {
		if (__atomic_compare_exchange_n(&vq_faults.signalPending, &pending, pending - 1, false, __ATOMIC_ACQ_REL,
						__ATOMIC_ACQUIRE))
			return true;
	}
	return false;
}

/*
 * done() runs without the queue's mutex (it may take a spin lock that wakers hold while they wake), so the wait
 * sleeps in short slices: a wake-up between the check and the sleep costs at most one slice.
 */
long vq_wait(vq_waitq *queue, bool (*done)(void *), void *arg, u32 timeout_ms)
{
	u64 deadline = vq_now_ms() + timeout_ms;

	for (;;) {
		struct timespec until;
		u64 now;
		u64 slice;

		if (done(arg))
			return 1;
		if (vq_take_signal())
			return VQ_EINTERRUPTED;
		now = vq_now_ms();
		if (now >= deadline)
			return 0;
		slice = deadline - now < 2 ? deadline - now : 2;
		clock_gettime(CLOCK_MONOTONIC, &until);
		until.tv_nsec += (long)(slice * 1000000u);
		until.tv_sec += until.tv_nsec / 1000000000L;
		until.tv_nsec %= 1000000000L;
		pthread_mutex_lock(&queue->mutex);
		pthread_cond_timedwait(&queue->changed, &queue->mutex, &until);
		pthread_mutex_unlock(&queue->mutex);
	}
}

void vq_tasklet_init(vq_tasklet *tasklet, void (*function)(unsigned long), unsigned long data)
{
	pthread_mutex_init(&tasklet->running, NULL);
	tasklet->function = function;
	tasklet->data = data;
}

/* Runs at once on the interrupting thread, never beside itself. */
void vq_tasklet_schedule(vq_tasklet *tasklet)
{
	pthread_mutex_lock(&tasklet->running);
	tasklet->function(tasklet->data);
	pthread_mutex_unlock(&tasklet->running);
}

void vq_tasklet_kill(vq_tasklet *tasklet)
{
	pthread_mutex_lock(&tasklet->running);
	pthread_mutex_unlock(&tasklet->running);
}

void vq_udelay(unsigned long microseconds)
{
	struct timespec pause = { 0, (long)microseconds * 1000L };

	nanosleep(&pause, NULL);
}

void vq_seq_printf(vq_seq *seq, const char *format, ...)
{
	va_list arguments;
	int bytes;
	char *text;

	va_start(arguments, format);
	bytes = vsnprintf(NULL, 0, format, arguments);
	va_end(arguments);
	if (bytes < 0)
		return;
	text = realloc(seq->text, seq->length + (size_t)bytes + 1);
	if (!text)
		return;
	va_start(arguments, format);
	vsnprintf(text + seq->length, (size_t)bytes + 1, format, arguments);
	va_end(arguments);
	seq->text = text;
	seq->length += (size_t)bytes;
}

void vq_seq_release(vq_seq *seq)
{
	free(seq->text);
	seq->text = NULL;
	seq->length = 0;
}

int vq_pin_user_pages(vq_pci_dev *dev, u64 address, u64 length, bool deviceWrites, struct vq_pinned *pinned)
{
	u64 first = address / PAGE_SIZE;
	u64 last = (address + length - 1) / PAGE_SIZE;
	u64 position = address;
	u32 i;

	(void)dev;
	memset(pinned, 0, sizeof(*pinned));
	if (!vq_user_range(address, length))
		return -EFAULT;
	if (__atomic_load_n(&vq_faults.failPin, __ATOMIC_RELAXED) > 0) {
		__atomic_fetch_sub(&vq_faults.failPin, 1, __ATOMIC_RELAXED);
		return -EFAULT;
	}
	pinned->segments = vq_zalloc((size_t)(last - first + 1) * sizeof(*pinned->segments));
	if (!pinned->segments)
		return -ENOMEM;
	pinned->numPages = (u32)(last - first + 1);
	pinned->numSegments = pinned->numPages;
	pinned->deviceWrites = deviceWrites;
	for (i = 0; i < pinned->numPages; i++) {
		u64 pageEnd = (position / PAGE_SIZE + 1) * PAGE_SIZE;
		u64 end = address + length < pageEnd ? address + length : pageEnd;

		pinned->segments[i].bus = position;
		pinned->segments[i].length = (u32)(end - position);
		position = end;
	}
	if (__atomic_load_n(&vq_faults.zeroBusAddress, __ATOMIC_RELAXED) > 0) {
		__atomic_fetch_sub(&vq_faults.zeroBusAddress, 1, __ATOMIC_RELAXED);
		pinned->segments[pinned->numSegments - 1].bus = 0;
	}
	return 0;
}

void vq_unpin_user_pages(vq_pci_dev *dev, struct vq_pinned *pinned)
{
	(void)dev;
	vq_free(pinned->segments);
	memset(pinned, 0, sizeof(*pinned));
}
