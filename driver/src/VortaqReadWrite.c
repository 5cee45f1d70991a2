/* Reads and writes at card addresses: pinning the caller's buffer, queueing, waiting for the engine. */
#include "vortaq.h"

/**
 * UserToDMABuffer() - pin and map a user buffer for one transfer
 * @pDevExt: adapter
 * @address: user address
 * @length: bytes, not 0
 * @direction: XFER_CARD_TO_HOST when the engine writes the pages
 * Return: the transfer, or NULL when the pages cannot be pinned or mapped.
 */
DMA_XFER *UserToDMABuffer(DEVICE_EXTENSION *pDevExt, u64 address, u64 length, s32 direction)
{
	DMA_XFER *pXfer = vq_zalloc(sizeof(*pXfer));

	if (!pXfer)
		return NULL;
	INIT_LIST_HEAD(&pXfer->list);
	if (vq_pin_user_pages(pDevExt->pPciDev, address, length, direction == XFER_CARD_TO_HOST, &pXfer->pinned)) {
		vq_free(pXfer);
		return NULL;
	}
	pXfer->numPages = (s32)pXfer->pinned.numPages;
	pXfer->direction = direction;
	pXfer->length = length;
	return pXfer;
}

/**
 * ReleaseUserDMABuffer() - unmap and unpin the transfer's pages, marking them dirty when the engine wrote them
 * @pDevExt: adapter
 * @pXfer: transfer the engine no longer uses; a second call does nothing
 */
void ReleaseUserDMABuffer(DEVICE_EXTENSION *pDevExt, DMA_XFER *pXfer)
{
	vq_unpin_user_pages(pDevExt->pPciDev, &pXfer->pinned);
	pXfer->numPages = 0;
}

static void FreeTransfer(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer)
{
	ReleaseUserDMABuffer(pDMAChExt->pDevExt, pXfer);
	vq_free(pXfer);
}

/**
 * ReapAbandonedTransfers() - release the transfers whose callers left before the engine finished them
 * @pDMAChExt: channel; process context
 */
void ReapAbandonedTransfers(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	for (;;) {
		unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
		DMA_XFER *pXfer = NULL;

		if (!list_empty(&pDMAChExt->AbandonedList)) {
			pXfer = list_first_entry(&pDMAChExt->AbandonedList, DMA_XFER, list);
			list_del_init(&pXfer->list);
		}
		vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
		if (!pXfer)
			return;
		FreeTransfer(pDMAChExt, pXfer);
	}
}

struct settle_wait {
	DMA_CHANNEL_EXTENSION *channel;
	const DMA_XFER *transfer;
};

static bool TransferSettled(void *arg)
{
	const struct settle_wait *wait = arg;
	unsigned long flags = vq_spin_lock(&wait->channel->DMAEngSemaphore);
	bool settled = wait->transfer->state == XFER_DONE;

	vq_spin_unlock(&wait->channel->DMAEngSemaphore, flags);
	return settled;
}

/*
 * The caller leaves before completion. A transfer still waiting for room is taken off the queue; one the engine may
 * still be moving keeps its pages pinned until its completion or the channel's cancel hands it to
 * ReapAbandonedTransfers(). Return: the state the transfer was found in.
 */
static enum xfer_state LeaveTransfer(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer)
{
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	enum xfer_state state = pXfer->state;
	bool changed = false;

	if (state == XFER_WAITING) {
		list_del_init(&pXfer->list);
		changed = StartNextDmaTransactions(pDMAChExt);
	} else if (state == XFER_PROGRAMMED) {
		pXfer->abandoned = true;
	}
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	if (changed)
		vq_wake_all(&pDMAChExt->TransferEvents);
	return state;
}

/*
 * Programs the transfer now when nothing waits before it and the rings have room, else queues it. The mode is
 * checked again under the lock: FIFO mode may have been entered, or the adapter's removal begun, since the caller
 * looked.
 */
static int SubmitTransfer(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer)
{
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	int result = 0;

	if (pDMAChExt->ChannelStatus == CHANNEL_RELEASING)
		result = -ENODEV;
	else if (pDMAChExt->DMAMode == DMA_MODE_FIFO)
		result = -EBUSY;
	else if (list_empty(&pDMAChExt->DMAWaitList) && TransferFits(pDMAChExt, pXfer)) {
		result = ProgramDmaChannel(pDMAChExt, pXfer);
	} else {
		pXfer->state = XFER_WAITING;
		list_add_tail(&pXfer->list, &pDMAChExt->DMAWaitList);
	}
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	return result;
}

/**
 * VortaqTransfer() - move count bytes between a user buffer and card memory, waiting for the engine
 * @pDMAChExt: channel whose file the caller opened
 * @buffer: user address
 * @count: bytes
 * @cardAddress: card (AXI) address
 * @direction: XFER_CARD_TO_HOST (read) or XFER_HOST_TO_CARD (write)
 *
 * Return: count when every byte moved; 0 for count 0; -EBUSY when the file is not open or the channel runs in
 * FIFO mode; -EMSGSIZE when the buffer needs more descriptors than a ring holds; -ENOMEM when the pages cannot be
 * pinned or mapped; -EFAULT for a buffer that wraps or maps to bus address 0; -EIO when the engine failed the
 * transfer, cut it short or the channel was closed; -ENODEV when the adapter is being removed; -ETIMEDOUT or the
 * signal's code when the caller left first.
 */
long VortaqTransfer(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 buffer, u64 count, u64 cardAddress, s32 direction)
{
	u32 hostRing = direction == XFER_CARD_TO_HOST ? pDMAChExt->NumberOfDstElements : pDMAChExt->NumberOfSrcElements;
	u32 cardRing = direction == XFER_CARD_TO_HOST ? pDMAChExt->NumberOfSrcElements : pDMAChExt->NumberOfDstElements;
	struct settle_wait wait = { pDMAChExt, NULL };
	DMA_XFER *pXfer;
	long waited;
	long result;

	if (!pDMAChExt->fbOpen || pDMAChExt->DMAMode == DMA_MODE_FIFO)
		return -EBUSY;
	if (count == 0)
		return 0;
	if (buffer + count < buffer)
		return -EFAULT;
	/* Refused before anything is pinned: one page or one 16 MiB card piece per descriptor at most. */
	if (CalcNumPages(buffer, count) >= hostRing || (count + SG_MAX_ELEMENT_BYTES - 1) / SG_MAX_ELEMENT_BYTES >= cardRing)
		return -EMSGSIZE;
	ReapAbandonedTransfers(pDMAChExt);
	pXfer = UserToDMABuffer(pDMAChExt->pDevExt, buffer, count, direction);
	if (!pXfer)
		return -ENOMEM;
	pXfer->CardAddress = cardAddress;
	result = SubmitTransfer(pDMAChExt, pXfer);
	if (result) {
		FreeTransfer(pDMAChExt, pXfer);
		return result;
	}
	wait.transfer = pXfer;
	waited = vq_wait(&pDMAChExt->TransferEvents, TransferSettled, &wait, pDMAChExt->TransferTimeoutMs);
	if (waited <= 0) {
		enum xfer_state state = LeaveTransfer(pDMAChExt, pXfer);

		if (state == XFER_WAITING)
			FreeTransfer(pDMAChExt, pXfer);
		if (state != XFER_DONE)
			return waited < 0 ? waited : -ETIMEDOUT;
	}
	result = pXfer->status ? pXfer->status : (long)count;
	FreeTransfer(pDMAChExt, pXfer);
	return result;
}
