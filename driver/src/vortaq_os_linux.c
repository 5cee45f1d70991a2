/* Pinning and mapping of user pages for the kernel build (see vortaq_os.h). */
#include <linux/mm.h>
#include <linux/module.h>

#include "vortaq_os.h"

static enum dma_data_direction vq_direction(bool deviceWrites)
{
	return deviceWrites ? DMA_FROM_DEVICE : DMA_TO_DEVICE;
}

/* Builds one entry per page: the first starts at the buffer's offset in its page. */
static void vq_fill_table(struct vq_pinned *pinned, u64 address, u64 length)
{
	struct scatterlist *entry;
	u32 offset = (u32)(address & ~PAGE_MASK);
	u64 left = length;
	u32 i;

	for_each_sg(pinned->table.sgl, entry, pinned->numPages, i) {
		u32 piece = (u32)min_t(u64, PAGE_SIZE - offset, left);

		sg_set_page(entry, pinned->pages[i], piece, offset);
		left -= piece;
		offset = 0;
	}
}

static int vq_collect_segments(struct vq_pinned *pinned)
{
	struct scatterlist *entry;
	u32 i;

	pinned->segments = kcalloc(pinned->numSegments, sizeof(*pinned->segments), GFP_KERNEL);
	if (!pinned->segments)
		return -ENOMEM;
	for_each_sg(pinned->table.sgl, entry, pinned->numSegments, i) {
		pinned->segments[i].bus = sg_dma_address(entry);
		pinned->segments[i].length = sg_dma_len(entry);
	}
	return 0;
}

int vq_pin_user_pages(vq_pci_dev *dev, u64 address, u64 length, bool deviceWrites, struct vq_pinned *pinned)
{
	u64 first = address >> PAGE_SHIFT;
	u64 last = (address + length - 1) >> PAGE_SHIFT;
	long pinnedPages;
	int mapped;
	int result = -ENOMEM;

	memset(pinned, 0, sizeof(*pinned));
	pinned->deviceWrites = deviceWrites;
	pinned->pages = kvcalloc(last - first + 1, sizeof(*pinned->pages), GFP_KERNEL);
	if (!pinned->pages)
		return -ENOMEM;
	pinnedPages = pin_user_pages_unlocked(address & PAGE_MASK, last - first + 1, pinned->pages,
					      deviceWrites ? FOLL_WRITE : 0);
	if (pinnedPages > 0)
		pinned->numPages = (u32)pinnedPages;
	if (pinnedPages != (long)(last - first + 1)) {
		result = -EFAULT;
		goto fail;
	}
	if (sg_alloc_table(&pinned->table, pinned->numPages, GFP_KERNEL))
		goto fail;
	vq_fill_table(pinned, address, length);
	mapped = dma_map_sg(&dev->dev, pinned->table.sgl, (int)pinned->numPages, vq_direction(deviceWrites));
	if (mapped <= 0)
		goto fail_table;
	pinned->mapped = true;
	pinned->numSegments = (u32)mapped;
	if (vq_collect_segments(pinned))
		goto fail_table;
	return 0;

fail_table:
	if (pinned->mapped)
		dma_unmap_sg(&dev->dev, pinned->table.sgl, (int)pinned->numPages, vq_direction(deviceWrites));
	pinned->mapped = false;
	sg_free_table(&pinned->table);
fail:
	unpin_user_pages(pinned->pages, pinned->numPages);
	kvfree(pinned->pages);
	memset(pinned, 0, sizeof(*pinned));
	return result;
}

void vq_unpin_user_pages(vq_pci_dev *dev, struct vq_pinned *pinned)
{
	if (!pinned->pages)
		return;
	if (pinned->mapped)
		dma_unmap_sg(&dev->dev, pinned->table.sgl, (int)pinned->numPages, vq_direction(pinned->deviceWrites));
	sg_free_table(&pinned->table);
	kfree(pinned->segments);
	unpin_user_pages_dirty_lock(pinned->pages, pinned->numPages, pinned->deviceWrites);
	kvfree(pinned->pages);
	memset(pinned, 0, sizeof(*pinned));
}
