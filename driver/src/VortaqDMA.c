/* Programming a channel's descriptor rings for addressed transfers, and their completion. */
#include "vortaq.h"

static u32 Chunks(u64 bytes)
{
	return (u32)((bytes + SG_MAX_ELEMENT_BYTES - 1) / SG_MAX_ELEMENT_BYTES);
}

static u32 HostElements(const DMA_XFER *pXfer)
{
	u32 elements = 0;
	u32 i;

	for (i = 0; i < pXfer->pinned.numSegments; i++)
		elements += Chunks(pXfer->pinned.segments[i].length);
	return elements;
}

/**
 * TransferFits() - whether both rings have room for the transfer now
 * @pDMAChExt: channel, its spin lock held
 * @pXfer: pinned transfer
 */
bool TransferFits(const DMA_CHANNEL_EXTENSION *pDMAChExt, const DMA_XFER *pXfer)
{
	u32 freeSrc = RingFreeElements(pDMAChExt->NumberOfSrcElements, pDMAChExt->NumberOfUsedSrcElements);
	u32 freeDst = RingFreeElements(pDMAChExt->NumberOfDstElements, pDMAChExt->NumberOfUsedDstElements);
	u32 host = HostElements(pXfer);
	u32 card = Chunks(pXfer->length);

	if (pXfer->direction == XFER_CARD_TO_HOST)
		return host <= freeDst && card <= freeSrc;
	return host <= freeSrc && card <= freeDst;
}

static void PutSource(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer, u64 address, u32 bytes, u32 flags)
{
	SOURCE_SG_ELEMENT_STRUCT *element = &pDMAChExt->pSrcElementBase[pDMAChExt->NextSrcElemIndex];

	element->SRC_ADDRESS = address;
	element->BYTE_COUNT_FLAGS = (bytes & SG_BYTE_COUNT_MASK) | flags;
	pDMAChExt->NextSrcElemIndex = (pDMAChExt->NextSrcElemIndex + 1) % pDMAChExt->NumberOfSrcElements;
	pDMAChExt->NumberOfUsedSrcElements++;
	pXfer->SrcElementCount++;
}

static void PutDestination(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer, u64 address, u32 bytes, u32 flags)
{
	DESTINATION_SG_ELEMENT_STRUCT *element = &pDMAChExt->pDstElementBase[pDMAChExt->NextDstElemIndex];

	element->DEST_ADDRESS = address;
	element->BYTE_COUNT_FLAGS = (bytes & SG_BYTE_COUNT_MASK) | flags | (element->BYTE_COUNT_FLAGS & SG_PACK_NEXT);
	pDMAChExt->NextDstElemIndex = (pDMAChExt->NextDstElemIndex + 1) % pDMAChExt->NumberOfDstElements;
	pDMAChExt->NumberOfUsedDstElements++;
	pXfer->DstElementCount++;
}

/* The card side: one element per 16 MiB from the card address; on the source ring the last one ends the packet. */
static void PutCardSide(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer)
{
	u64 left = pXfer->length;
	u64 address = pXfer->CardAddress;

	while (left) {
		u32 chunk = left < SG_MAX_ELEMENT_BYTES ? (u32)left : SG_MAX_ELEMENT_BYTES;

		left -= chunk;
		if (pXfer->direction == XFER_CARD_TO_HOST)
			PutSource(pDMAChExt, pXfer, address, chunk, SG_LOCATION_CARD | (left ? 0 : SG_EOP | SG_INTERRUPT));
		else
			PutDestination(pDMAChExt, pXfer, address, chunk, SG_LOCATION_CARD);
		address += chunk;
	}
}

/* The host side: the mapped entries in chunks of 16 MiB; on the source ring the very last element ends the packet. */
static void PutHostSide(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer)
{
	u32 i;

	for (i = 0; i < pXfer->pinned.numSegments; i++) {
		const struct vq_segment *segment = &pXfer->pinned.segments[i];
		u32 done = 0;

		while (done < segment->length) {
			u32 chunk = segment->length - done < SG_MAX_ELEMENT_BYTES ? segment->length - done
										   : SG_MAX_ELEMENT_BYTES;
			bool last = i + 1 == pXfer->pinned.numSegments && done + chunk == segment->length;

			if (pXfer->direction == XFER_CARD_TO_HOST)
				PutDestination(pDMAChExt, pXfer, segment->bus + done, chunk, 0);
			else
				PutSource(pDMAChExt, pXfer, segment->bus + done, chunk, last ? SG_EOP | SG_INTERRUPT : 0);
			pXfer->BytesTransfered += chunk;
			done += chunk;
		}
	}
}

/**
 * ProgramDmaChannel() - write the transfer's descriptors and hand them to the engine
 * @pDMAChExt: channel, its spin lock held
 * @pXfer: pinned transfer, on no list
 *
 * Everything is checked before the first descriptor is written, so a refused transfer leaves the rings as they
 * were. Return: 0; -EMSGSIZE when the rings have no room; -EFAULT when an entry was mapped to bus address 0.
 */
int ProgramDmaChannel(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer)
{
	vq_iomem window = pDMAChExt->Registers;
	u32 i;

	for (i = 0; i < pXfer->pinned.numSegments; i++)
		if (pXfer->pinned.segments[i].bus == 0)
			return -EFAULT;
	if (!TransferFits(pDMAChExt, pXfer))
		return -EMSGSIZE;
	pXfer->SrcElementCount = 0;
	pXfer->DstElementCount = 0;
	pXfer->BytesTransfered = 0;
	PutCardSide(pDMAChExt, pXfer);
	PutHostSide(pDMAChExt, pXfer);
	pXfer->state = XFER_PROGRAMMED;
	list_add_tail(&pXfer->list, &pDMAChExt->DMATransactionList);
	pDMAChExt->NextStatElemIndex = (pDMAChExt->NextStatElemIndex + 1) % pDMAChExt->NumberOfStatElements;
	/* Both generations keep the three limits at the same offsets. */
	vq_write32(window, V2_SRC_Q_LIMIT, pDMAChExt->NextSrcElemIndex);
	vq_write32(window, V2_DST_Q_LIMIT, pDMAChExt->NextDstElemIndex);
	vq_write32(window, V2_STA_Q_LIMIT, pDMAChExt->NextStatElemIndex);
	pDMAChExt->DMATransferCount++;
	return 0;
}

static void FinishTransfer(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer, s32 status)
{
	list_del_init(&pXfer->list);
	pXfer->status = status;
	if (status)
		pXfer->BytesTransfered = 0;
	pXfer->state = XFER_DONE;
	if (pXfer->abandoned)
		list_add_tail(&pXfer->list, &pDMAChExt->AbandonedList);
}

/**
 * StartNextDmaTransactions() - program the waiting transfers, in their order, as far as the rings have room
 * @pDMAChExt: channel, its spin lock held
 * Return: whether a waiting transfer changed its state.
 */
bool StartNextDmaTransactions(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	bool changed = false;

	while (!list_empty(&pDMAChExt->DMAWaitList)) {
		DMA_XFER *pXfer = list_first_entry(&pDMAChExt->DMAWaitList, DMA_XFER, list);
		int result;

		if (!TransferFits(pDMAChExt, pXfer))
			break;
		list_del_init(&pXfer->list);
		result = ProgramDmaChannel(pDMAChExt, pXfer);
		if (result)
			FinishTransfer(pDMAChExt, pXfer, result);
		changed = true;
	}
	return changed;
}

static u32 *StatusElement(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 index)
{
	return (u32 *)(pDMAChExt->pStatElementBase + (size_t)index * pDMAChExt->StatElementSize);
}

/* Pairs the completed status elements with the programmed transfers, oldest first. */
static bool CompleteTransfers(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	bool completed = false;

	while (pDMAChExt->TailStatElemIndex != pDMAChExt->NextStatElemIndex &&
	       !list_empty(&pDMAChExt->DMATransactionList)) {
		u32 *element = StatusElement(pDMAChExt, pDMAChExt->TailStatElemIndex);
		u32 status = vq_dma_read32(element);
		DMA_XFER *pXfer;
		u32 moved;

		if (!(status & STAT_COMPLETED))
			break;
		pXfer = list_first_entry(&pDMAChExt->DMATransactionList, DMA_XFER, list);
		moved = (status & STAT_COMP_BYTE_COUNT_MASK) >> STAT_COMP_BYTE_COUNT_SHIFT;
		pDMAChExt->TailStatElemIndex = (pDMAChExt->TailStatElemIndex + 1) % pDMAChExt->NumberOfStatElements;
		pDMAChExt->NumberOfUsedSrcElements -= pXfer->SrcElementCount;
		pDMAChExt->NumberOfUsedDstElements -= pXfer->DstElementCount;
		/* A packet the engine cut short is a failure, like one it reports as failed. */
		FinishTransfer(pDMAChExt, pXfer,
			       (status & STAT_ERROR_MASK) || moved != (pXfer->length & (STAT_COMP_BYTE_COUNT_MASK >> 4))
				       ? -EIO : 0);
		*element = 0;
		completed = true;
	}
	return completed;
}

/**
 * ChannelTasklet() - complete what the engine finished and start what waited for room
 * @data: the channel record
 *
 * Runs after the channel's interrupt. It only moves transfers between states; their callers release the pages in
 * process context. A message answer that the interrupt noted (DMA_MODE_GE_FW_CMD) wakes its waiter.
 */
void ChannelTasklet(unsigned long data)
{
	DMA_CHANNEL_EXTENSION *pDMAChExt = (DMA_CHANNEL_EXTENSION *)data;
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	bool changed, answered;

	pDMAChExt->DPCsCount++;
	if (pDMAChExt->DMAMode == DMA_MODE_FIFO) {
		/* FIFO requests read the status ring themselves. */
		pDMAChExt->FIFOCompleted = true;
		vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
		vq_wake_all(&pDMAChExt->FIFOComplete);
		return;
	}
	changed = CompleteTransfers(pDMAChExt);
	changed |= StartNextDmaTransactions(pDMAChExt);
	answered = !pDMAChExt->pDevExt->v1 && pDMAChExt->DMAMode == DMA_MODE_GE_FW_CMD;
	if (answered) {
		pDMAChExt->translationCompleted = true;
		pDMAChExt->DMAMode = DMA_MODE_NOT_SET;
	}
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	if (changed)
		vq_wake_all(&pDMAChExt->TransferEvents);
	if (answered)
		vq_wake_all(&pDMAChExt->translationComplete);
}

/**
 * CancelDmaTransactions() - end every programmed and waiting transfer as failed
 * @pDMAChExt: channel whose engine is stopped
 */
void CancelDmaTransactions(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);

	while (!list_empty(&pDMAChExt->DMATransactionList))
		FinishTransfer(pDMAChExt, list_first_entry(&pDMAChExt->DMATransactionList, DMA_XFER, list), -EIO);
	while (!list_empty(&pDMAChExt->DMAWaitList))
		FinishTransfer(pDMAChExt, list_first_entry(&pDMAChExt->DMAWaitList, DMA_XFER, list), -EIO);
	pDMAChExt->NumberOfUsedSrcElements = 0;
	pDMAChExt->NumberOfUsedDstElements = 0;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	vq_wake_all(&pDMAChExt->TransferEvents);
}
