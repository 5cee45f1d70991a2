/*
 * FIFO mode of second-generation channels: the caller's buffer is pinned page by page once, and small requests
 * name pieces of it that the engine sends to the card's stream (host to card) or collect the pieces the engine
 * wrote into it (card to host). Completions arrive as 8-byte status elements on the STATD queue.
 */
#include "vortaq.h"

static STATUS_ELEMENT64_STRUCT *WideStatus(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 index)
{
	return (STATUS_ELEMENT64_STRUCT *)(pDMAChExt->pStatElementBase + (size_t)index * sizeof(STATUS_ELEMENT64_STRUCT));
}

/* Pins one page of the buffer; the engine needs it as one bus range. */
static int PinPage(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 page, s32 direction, DMA_XFER **ppXfer)
{
	u64 offset = (u64)page * PAGE_SIZE;
	u64 bytes = pDMAChExt->UserVaLength - offset < PAGE_SIZE ? pDMAChExt->UserVaLength - offset : PAGE_SIZE;
	DMA_XFER *pXfer = UserToDMABuffer(pDMAChExt->pDevExt, pDMAChExt->UserVa + offset, bytes, direction);

	if (!pXfer)
		return -ENOMEM;
	if (pXfer->pinned.numSegments != 1 || pXfer->pinned.segments[0].bus == 0) {
		ReleaseUserDMABuffer(pDMAChExt->pDevExt, pXfer);
		vq_free(pXfer);
		return -EFAULT;
	}
	pXfer->BufferOffset = (u32)offset;
	*ppXfer = pXfer;
	return 0;
}

/* Host to card: source element k describes page k; FIFO table entry k holds its pinned page. */
static int InitializeTxElements(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	vq_iomem window = pDMAChExt->Registers;
	u64 pages = CalcNumPages(pDMAChExt->UserVa, pDMAChExt->UserVaLength);
	u32 k;

	if (pages == 0)
		return -EMSGSIZE;
	if (pages >= pDMAChExt->AllocatedSrcElements)
		return -ENOMEM;
	InitializeDMAChannel(pDMAChExt);
	for (k = 0; k < pages; k++) {
		SOURCE_SG_ELEMENT_STRUCT *element = &pDMAChExt->pSrcElementBase[k];
		DMA_XFER *pXfer;
		int result = PinPage(pDMAChExt, k, XFER_HOST_TO_CARD, &pXfer);

		if (result)
			return result;
		element->SRC_ADDRESS = pXfer->pinned.segments[0].bus;
		element->BYTE_COUNT_FLAGS = pXfer->pinned.segments[0].length & SG_BYTE_COUNT_MASK;
		element->USER_HANDLE = (u16)(k + 1);
		element->USER_ID = 0;
		pDMAChExt->pFIFOTable[k].transfer = pXfer;
	}
	pDMAChExt->NumberOfSrcElements = (u32)pages;
	vq_write32(window, V2_SRC_Q_SIZE, (u32)pages);
	pDMAChExt->LastElemProcessed = (s32)pages;
	vq_write32(window, V2_SRC_Q_LIMIT, 0);
	pDMAChExt->NextSrcElemIndex = 0;
	vq_write32(window, V2_STAD_Q_LIMIT, pDMAChExt->NumberOfStatElements - 1);
	pDMAChExt->NextStatElemIndex = 0;
	return 0;
}

/*
 * Card to host: destination element k describes page k, its handle k + 1 names FIFO table entry k + 1. All
 * descriptors but one belong to the engine from the start.
 */
static int InitializeRxElements(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	vq_iomem window = pDMAChExt->Registers;
	u64 pages = CalcNumPages(pDMAChExt->UserVa, pDMAChExt->UserVaLength);
	u32 k;

	if (pages < 2 || pages >= pDMAChExt->AllocatedDstElements)
		return -EMSGSIZE;
	InitializeDMAChannel(pDMAChExt);
	for (k = 0; k < pages; k++) {
		DESTINATION_SG_ELEMENT_STRUCT *element = &pDMAChExt->pDstElementBase[k];
		DMA_XFER *pXfer;
		int result = PinPage(pDMAChExt, k, XFER_CARD_TO_HOST, &pXfer);

		if (result)
			return result;
		element->DEST_ADDRESS = pXfer->pinned.segments[0].bus;
		element->BYTE_COUNT_FLAGS = (pXfer->pinned.segments[0].length & SG_BYTE_COUNT_MASK) | SG_PACK_NEXT;
		element->USER_HANDLE = (u16)(k + 1);
		pDMAChExt->pFIFOTable[k + 1].transfer = pXfer;
	}
	pDMAChExt->NumberOfDstElements = (u32)pages;
	vq_write32(window, V2_DST_Q_SIZE, (u32)pages);
	pDMAChExt->LastElemProcessed = (s32)pages;
	pDMAChExt->NextDstElemIndex = (u32)pages - 1;
	vq_write32(window, V2_DST_Q_LIMIT, (u32)pages - 1);
	vq_write32(window, V2_STAD_Q_LIMIT, pDMAChExt->NumberOfStatElements - 1);
	pDMAChExt->NextStatElemIndex = 0;
	return 0;
}

/**
 * LeaveFifoMode() - release the FIFO buffer and give the channel its addressed-mode rings back
 * @pDMAChExt: channel in FIFO mode; its FIFO mutex held or no request possible
 *
 * The engine is stopped before the pages it may write are released; the rings get back the sizes they were
 * allocated with. A channel being removed stays stopped.
 */
void LeaveFifoMode(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	u32 i;

	pDMAChExt->DMAMode = DMA_MODE_NOT_SET;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	StopDMAChannel(pDMAChExt);
	for (i = 0; i <= pDMAChExt->NumberOfStatElements; i++) {
		DMA_XFER *pXfer = pDMAChExt->pFIFOTable[i].transfer;

		if (pXfer) {
			ReleaseUserDMABuffer(pDMAChExt->pDevExt, pXfer);
			vq_free(pXfer);
		}
	}
	memset(pDMAChExt->pFIFOTable, 0, ((size_t)pDMAChExt->NumberOfStatElements + 1) * sizeof(FIFO_TABLE_ENTRY));
	pDMAChExt->NumberOfSrcElements = pDMAChExt->AllocatedSrcElements;
	pDMAChExt->NumberOfDstElements = pDMAChExt->AllocatedDstElements;
	pDMAChExt->UserVa = 0;
	pDMAChExt->UserVaLength = 0;
	if (pDMAChExt->ChannelStatus != CHANNEL_RELEASING)
		InitializeDMAChannel(pDMAChExt);
}

/**
 * SetupChannelIOCtlHandler() - enter FIFO mode with the caller's buffer
 * @pDMAChExt: channel
 * @pSetup: request 2336
 *
 * Return: 0; -ENODEV for another channel's number; -EINVAL for another allocation mode (Length then 0) or a
 * buffer that is not page-aligned; -ENOSYS on a first-generation engine; -EBUSY while the channel is in FIFO mode,
 * has transfers or is being removed; -EMSGSIZE or -ENOMEM when the buffer has too few or too many pages or cannot
 * be pinned.
 */
int SetupChannelIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, SETUP_CHANNEL_STRUCT *pSetup)
{
	unsigned long flags;
	bool busy;
	int result;

	if (pSetup->ChannelNum != pDMAChExt->DmaChannel)
		return -ENODEV;
	if (pSetup->AllocationMode != VORTAQ_ALLOCATION_MODE_FIFO) {
		pSetup->Length = 0;
		return -EINVAL;
	}
	if (pDMAChExt->pDevExt->v1)
		return -ENOSYS;
	/* Descriptors address whole pages: a piece's offset in its page is its offset in the buffer. */
	if (pSetup->BufferAddress == 0 || (pSetup->BufferAddress & (PAGE_SIZE - 1)) ||
	    pSetup->BufferAddress + pSetup->Length < pSetup->BufferAddress)
		return -EINVAL;
	vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	busy = pDMAChExt->ChannelStatus == CHANNEL_RELEASING || pDMAChExt->DMAMode == DMA_MODE_FIFO ||
	       !list_empty(&pDMAChExt->DMATransactionList) || !list_empty(&pDMAChExt->DMAWaitList);
	if (!busy) {
		pDMAChExt->DMAMode = DMA_MODE_FIFO;
		pDMAChExt->FIFOModeDirection = pSetup->Direction;
		pDMAChExt->UserVa = pSetup->BufferAddress;
		pDMAChExt->UserVaLength = pSetup->Length;
		pDMAChExt->FIFOCompleted = false;
	}
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	if (busy) {
		vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
		return -EBUSY;
	}
	if (pSetup->Direction != VORTAQ_FIFO_CARD_TO_HOST)
		result = InitializeTxElements(pDMAChExt);
	else
		result = InitializeRxElements(pDMAChExt);
	if (result)
		LeaveFifoMode(pDMAChExt);
	vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
	return result;
}

/**
 * ShutdownChannelIOCtlHandler() - leave FIFO mode and release the buffer
 * @pDMAChExt: channel
 * @pShutdown: request 2337
 *
 * Return: 0; -ENOSYS for another channel's number; -EINVAL for another allocation mode; -ENOBUFS when the
 * channel holds no FIFO buffer.
 */
int ShutdownChannelIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, const SHUTDOWN_CHANNEL_STRUCT *pShutdown)
{
	int result = 0;

	if (pShutdown->ChannelNum != pDMAChExt->DmaChannel)
		return -ENOSYS;
	if (pShutdown->AllocationMode != VORTAQ_ALLOCATION_MODE_FIFO)
		return -EINVAL;
	vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
	if (pDMAChExt->DMAMode != DMA_MODE_FIFO || !pDMAChExt->UserVa)
		result = -ENOBUFS;
	else
		LeaveFifoMode(pDMAChExt);
	vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
	return result;
}

static bool FifoSignalled(void *arg)
{
	DMA_CHANNEL_EXTENSION *pDMAChExt = arg;
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	bool signalled = pDMAChExt->FIFOCompleted;

	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	return signalled;
}

/* Sleeps without the spin lock until the channel's interrupt or the FIFO wait passes; returns the new flags. */
static unsigned long WaitForFifoInterrupt(DMA_CHANNEL_EXTENSION *pDMAChExt, unsigned long flags)
{
	pDMAChExt->FIFOCompleted = false;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	vq_wait(&pDMAChExt->FIFOComplete, FifoSignalled, pDMAChExt, pDMAChExt->FifoWaitMs);
	return vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
}

/*
 * The channel is in FIFO mode in the direction the request serves, holds its buffer and is not being removed:
 * 0, -ENOSYS, -ENOBUFS or -ENODEV.
 */
static int CheckFifoMode(const DMA_CHANNEL_EXTENSION *pDMAChExt, bool cardToHost)
{
	if (pDMAChExt->ChannelStatus == CHANNEL_RELEASING)
		return -ENODEV;
	if (pDMAChExt->DMAMode != DMA_MODE_FIFO ||
	    (pDMAChExt->FIFOModeDirection == VORTAQ_FIFO_CARD_TO_HOST) != cardToHost)
		return -ENOSYS;
	return pDMAChExt->UserVa ? 0 : -ENOBUFS;
}

/* Gives back the source elements of the pieces the engine sent. Return: 0, or -EIO when one failed. */
static s32 ReclaimSentPieces(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	s32 result = 0;

	while (pDMAChExt->TailStatElemIndex != pDMAChExt->NextStatElemIndex) {
		STATUS_ELEMENT64_STRUCT *element = WideStatus(pDMAChExt, pDMAChExt->TailStatElemIndex);
		u32 status = vq_dma_read32(&element->STATUS);
		u32 elements;

		if (!(status & STAT_COMPLETED))
			break;
		elements = element->USER_ID;
		pDMAChExt->TailStatElemIndex = (pDMAChExt->TailStatElemIndex + 1) % pDMAChExt->NumberOfStatElements;
		pDMAChExt->NumberOfUsedSrcElements -= elements < pDMAChExt->NumberOfUsedSrcElements
							      ? elements : pDMAChExt->NumberOfUsedSrcElements;
		if (status & STAT_ERROR_MASK)
			result = -EIO;
		memset(element, 0, sizeof(*element));
	}
	return result;
}

/*
 * Hands one piece of the buffer to the engine, one source element per page it touches; the last one ends the
 * packet and carries the element count for the reclaim. Return: 0; -EINVAL for an empty piece or one beyond the
 * buffer; -ENOBUFS when the ring has no room for it.
 */
static s32 SendPiece(DMA_CHANNEL_EXTENSION *pDMAChExt, const FIFOS2C_ENTRY_STRUCT *entry)
{
	u32 first, last, page, left, inPage;

	if (entry->Length == 0 || entry->Offset > pDMAChExt->UserVaLength ||
	    entry->Length > pDMAChExt->UserVaLength - entry->Offset)
		return -EINVAL;
	first = entry->Offset / PAGE_SIZE;
	last = (u32)(((u64)entry->Offset + entry->Length - 1) / PAGE_SIZE);
	if (last - first + 1 > RingFreeElements(pDMAChExt->NumberOfSrcElements, pDMAChExt->NumberOfUsedSrcElements))
		return -ENOBUFS;
	left = entry->Length;
	inPage = entry->Offset % PAGE_SIZE;
	for (page = first; page <= last; page++) {
		const struct vq_segment *segment = &pDMAChExt->pFIFOTable[page].transfer->pinned.segments[0];
		SOURCE_SG_ELEMENT_STRUCT *element = &pDMAChExt->pSrcElementBase[pDMAChExt->NextSrcElemIndex];
		u32 bytes = segment->length - inPage < left ? segment->length - inPage : left;

		left -= bytes;
		element->SRC_ADDRESS = segment->bus + inPage;
		element->BYTE_COUNT_FLAGS = bytes | (left ? 0 : SG_EOP | SG_INTERRUPT);
		element->USER_ID = (u16)(left ? 0 : last - first + 1);
		pDMAChExt->NextSrcElemIndex = (pDMAChExt->NextSrcElemIndex + 1) % pDMAChExt->NumberOfSrcElements;
		pDMAChExt->NumberOfUsedSrcElements++;
		inPage = 0;
	}
	pDMAChExt->NextStatElemIndex = (pDMAChExt->NextStatElemIndex + 1) % pDMAChExt->NumberOfStatElements;
	vq_write32(pDMAChExt->Registers, V2_STAD_Q_LIMIT, pDMAChExt->NextStatElemIndex);
	vq_write32(pDMAChExt->Registers, V2_SRC_Q_LIMIT, pDMAChExt->NextSrcElemIndex);
	return 0;
}

static void SetInterruptEnables(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 bits, bool on)
{
	u32 value = vq_read32(pDMAChExt->Registers, V2_PCIE_INT_CONTROL);

	vq_write32(pDMAChExt->Registers, V2_PCIE_INT_CONTROL, on ? value | bits : value & ~bits);
}

/**
 * FIFOs2cIOCtlHandler() - send pieces of the buffer to the card
 * @pDMAChExt: channel
 * @pRequest: request 2343 with NumEntries entries
 *
 * First reclaims what the engine sent (LastTransactionStatus -EIO when a piece failed), then sends the entries in
 * order until one cannot be sent (TransactionStatus -EINVAL or -ENOBUFS). With WaitForInterrupt the request
 * sleeps for the channel's interrupt once it sent something. Return: 0, -ENOSYS (first generation, not in FIFO
 * mode towards the card) or -ENOBUFS (no buffer).
 */
int FIFOs2cIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, FIFO_S2C_STRUCT *pRequest)
{
	u32 wait = pRequest->TransactionStatus & VORTAQ_FIFO_WAIT_FOR_INTERRUPT;
	unsigned long flags;
	int result;
	u32 i;

	if (pDMAChExt->pDevExt->v1)
		return -ENOSYS;
	pRequest->TransactionStatus = wait;
	pRequest->NumEntriesSent = 0;
	vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	result = CheckFifoMode(pDMAChExt, false);
	if (!result) {
		pRequest->LastTransactionStatus = (u32)ReclaimSentPieces(pDMAChExt);
		if (wait)
			SetInterruptEnables(pDMAChExt, V2_DMA_SGL_ENABLE, true);
		for (i = 0; i < pRequest->NumEntries; i++) {
			s32 status = SendPiece(pDMAChExt, &pRequest->Entries[i]);

			if (status) {
				pRequest->TransactionStatus = wait | ((u32)status & VORTAQ_FIFO_STATUS_MASK);
				break;
			}
			pRequest->NumEntriesSent++;
		}
		pRequest->NumAvailableElements = pDMAChExt->NumberOfSrcElements - pDMAChExt->NumberOfUsedSrcElements;
		if (wait && pRequest->NumEntriesSent)
			flags = WaitForFifoInterrupt(pDMAChExt, flags);
		SetInterruptEnables(pDMAChExt, V2_DMA_SGL_ENABLE, false);
	}
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
	return result;
}

/* Gives the engine back the descriptors of pieces the caller has read: 0 or -ENOSYS for an inconsistent count. */
static int ReleaseReadPieces(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 count)
{
	u32 size = pDMAChExt->NumberOfDstElements;

	if (count == 0)
		return 0;
	if (count > pDMAChExt->NumberOfUsedDstElements || count > size || pDMAChExt->NumberOfUsedDstElements > size)
		return -ENOSYS;
	pDMAChExt->NumberOfUsedDstElements -= count;
	pDMAChExt->NextDstElemIndex = (pDMAChExt->NextDstElemIndex + count) % size;
	vq_write32(pDMAChExt->Registers, V2_DST_Q_LIMIT, pDMAChExt->NextDstElemIndex);
	return 0;
}

/*
 * Describes the pieces the engine completed, as far as the caller has room. The engine's handles are checked
 * against the ring before they index anything. Return: 0 or -ENOSYS for a status the ring cannot have produced.
 */
static int CollectReceivedPieces(DMA_CHANNEL_EXTENSION *pDMAChExt, FIFO_C2S_STRUCT *pRequest)
{
	u32 size = pDMAChExt->NumberOfDstElements;

	while (pRequest->RetNumEntries < pRequest->AvailNumEntries) {
		FIFOC2S_ENTRY_STRUCT *entry = &pRequest->Entries[pRequest->RetNumEntries];
		STATUS_ELEMENT64_STRUCT *element = WideStatus(pDMAChExt, pDMAChExt->NextStatElemIndex);
		u32 status = vq_dma_read32(&element->STATUS);
		u32 last = (u32)pDMAChExt->LastElemProcessed;
		u32 index = last + 1 > size ? 1 : last + 1;
		u32 handle, elements;

		memset(entry, 0, sizeof(*entry));
		if (!(status & STAT_COMPLETED))
			break;
		handle = element->USER_HANDLE;
		if (!(status & STAT_UPPER_STAT_NZ) || handle == 0 || handle > size)
			return -ENOSYS;
		elements = handle > last ? handle - last : size + handle - last;
		if (pDMAChExt->NumberOfUsedDstElements + elements > size)
			return -ENOSYS;
		pDMAChExt->LastElemProcessed = (s32)handle;
		pDMAChExt->NumberOfUsedDstElements += elements;
		pDMAChExt->DMATransferCount++;
		entry->NumberElements = elements;
		if (status & STAT_ERROR_MASK)
			entry->Status = status & STAT_ERROR_MASK;
		else
			entry->Length = (status & STAT_COMP_BYTE_COUNT_MASK) >> STAT_COMP_BYTE_COUNT_SHIFT;
		if (pDMAChExt->pFIFOTable[index].ID == (s32)index && pDMAChExt->pFIFOTable[index].transfer)
			entry->Offset = pDMAChExt->pFIFOTable[index].transfer->BufferOffset;
		entry->UserHandle = (u16)handle;
		entry->UserID = element->USER_ID;
		pRequest->RetNumEntries++;
		memset(element, 0, sizeof(*element));
		vq_write32(pDMAChExt->Registers, V2_STAD_Q_LIMIT, pDMAChExt->NextStatElemIndex);
		pDMAChExt->NextStatElemIndex = (pDMAChExt->NextStatElemIndex + 1) % pDMAChExt->NumberOfStatElements;
	}
	return 0;
}

/**
 * FIFOc2sIOCtlHandler() - collect the pieces the engine wrote into the buffer
 * @pDMAChExt: channel
 * @pRequest: request 2342 with room for AvailNumEntries entries
 *
 * First gives back ReleaseCount descriptors, then describes up to AvailNumEntries completed pieces. With
 * WaitForInterrupt and nothing completed the request sleeps once for the channel's interrupt. Return: 0, -ENOSYS
 * (first generation, not in FIFO mode from the card, an inconsistent release or status) or -ENOBUFS (no buffer).
 */
int FIFOc2sIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, FIFO_C2S_STRUCT *pRequest)
{
	const u32 interrupts = V2_PCIE_INT_ENABLE | V2_DMA_ERROR_ENABLE | V2_DMA_SGL_ENABLE;
	u32 wait = pRequest->ReleaseCount & VORTAQ_FIFO_WAIT_FOR_INTERRUPT;
	unsigned long flags;
	int result;

	if (pDMAChExt->pDevExt->v1)
		return -ENOSYS;
	vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	pRequest->RetNumEntries = 0;
	pRequest->ChannelStatus = 0;
	result = CheckFifoMode(pDMAChExt, true);
	if (!result)
		result = ReleaseReadPieces(pDMAChExt, pRequest->ReleaseCount & VORTAQ_FIFO_STATUS_MASK);
	if (!result) {
		pRequest->ReleaseCount = wait;
		if (wait)
			SetInterruptEnables(pDMAChExt, interrupts, true);
		result = CollectReceivedPieces(pDMAChExt, pRequest);
		if (!result && wait && pRequest->RetNumEntries == 0)
			flags = WaitForFifoInterrupt(pDMAChExt, flags);
		SetInterruptEnables(pDMAChExt, interrupts, false);
	}
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
	return result;
}
