/*
 * Control requests: the board requests of the device file and the channel requests of a channel file. Every
 * record is copied in once and checked as copied; what user space changes afterwards is never read.
 */
#include "vortaq.h"

#define PCI_CONFIG_SPACE_BYTES 4096u
#define VORTAQ_MAX_PIN_BYTES 0xFFFFF000ull

/* Copies between card registers or memory and a kernel buffer with accesses no wider than the alignment allows. */
static void CopyFromBar(u8 *to, vq_iomem bar, u64 offset, u64 length)
{
	u64 i;

	if (((offset | length) & 3) == 0) {
		for (i = 0; i < length; i += 4) {
			u32 value = vq_read32(bar, (u32)(offset + i));

			memcpy(to + i, &value, 4);
		}
	} else if ((offset | length) & 1) {
		for (i = 0; i < length; i++)
			to[i] = vq_read8(bar, (u32)(offset + i));
	} else {
		for (i = 0; i < length; i += 2) {
			u16 value = vq_read16(bar, (u32)(offset + i));

			memcpy(to + i, &value, 2);
		}
	}
}

static void CopyToBar(vq_iomem bar, u64 offset, const u8 *from, u64 length)
{
	u64 i;

	if (((offset | length) & 3) == 0) {
		for (i = 0; i < length; i += 4) {
			u32 value;

			memcpy(&value, from + i, 4);
			vq_write32(bar, (u32)(offset + i), value);
		}
	} else if ((offset | length) & 1) {
		for (i = 0; i < length; i++)
			vq_write8(bar, (u32)(offset + i), from[i]);
	} else {
		for (i = 0; i < length; i += 2) {
			u16 value;

			memcpy(&value, from + i, 2);
			vq_write16(bar, (u32)(offset + i), value);
		}
	}
}

/*
 * Requests 2306 (read) and 2307 (write): Length bytes of a BAR at CardOffset. A 64-bit BAR0 makes every BAR take
 * two slots. Writing needs the administrator's capability.
 */
static long VortaqReadWriteMem(DEVICE_EXTENSION *pDevExt, u64 arg, bool read)
{
	MEM_COPY_STRUCT record;
	const BUS_ADDRESS *bar;
	u32 barNum;
	u8 *buffer;
	long result;

	if (!read && !vq_capable_admin())
		return -EPERM;
	if (vq_copy_from_user(&record, arg, sizeof(record)))
		return -EFAULT;
	barNum = record.BarNum;
	if ((pDevExt->BoardConfig.PciConfig.BarCfg[0] & 6) == 4) {
		if (barNum > 2)
			return -EINVAL;
		barNum *= 2;
	}
	if (barNum >= (u32)pDevExt->numBusAddr || record.Length == 0)
		return -EINVAL;
	bar = &pDevExt->busAddr[barNum];
	if (record.Length > bar->length || record.CardOffset > bar->length - record.Length)
		return -EINVAL;
	if (pDevExt->BarType[barNum] > BAR_TYPE_MEMORY || !bar->virtualAddress)
		return -EINVAL;
	buffer = vq_zalloc((size_t)((record.Length + 15) & ~15ull));
	if (!buffer)
		return -ENOMEM;
	if (read) {
		CopyFromBar(buffer, bar->virtualAddress, record.CardOffset, record.Length);
		result = vq_copy_to_user(record.Buffer, buffer, (size_t)record.Length);
	} else {
		result = vq_copy_from_user(buffer, record.Buffer, (size_t)record.Length);
		if (!result)
			CopyToBar(bar->virtualAddress, record.CardOffset, buffer, record.Length);
	}
	vq_free(buffer);
	if (!result)
		result = vq_copy_to_user(arg, &record, sizeof(record));
	return result;
}

/* Requests 2313 (write) and 2314 (read): configuration bytes one by one; writing needs the capability. */
static long VortaqReadWritePCIConfig(DEVICE_EXTENSION *pDevExt, u64 arg, bool read)
{
	RW_PCI_CONFIG_STRUCT record;
	u8 *buffer;
	long result = 0;
	u32 i;

	if (!read && !vq_capable_admin())
		return -EPERM;
	if (vq_copy_from_user(&record, arg, sizeof(record)))
		return -EFAULT;
	if (record.Length == 0 || record.Length > PCI_CONFIG_SPACE_BYTES ||
	    record.Offset > PCI_CONFIG_SPACE_BYTES - record.Length)
		return -EINVAL;
	buffer = vq_zalloc(record.Length);
	if (!buffer)
		return -ENOMEM;
	if (read) {
		for (i = 0; i < record.Length && !result; i++)
			result = vq_pci_read_config_byte(pDevExt->pPciDev, record.Offset + i, &buffer[i]);
		if (!result)
			result = vq_copy_to_user(record.Buffer, buffer, record.Length);
	} else {
		result = vq_copy_from_user(buffer, record.Buffer, record.Length);
		for (i = 0; i < record.Length && !result; i++)
			result = vq_pci_write_config_byte(pDevExt->pPciDev, record.Offset + i, buffer[i]);
	}
	vq_free(buffer);
	return result;
}

/* Request 2371: the BAR table. The driver's own mappings stay unnamed: kernel addresses do not leave the kernel. */
static long GetBoardConfigEx(DEVICE_EXTENSION *pDevExt, u64 arg)
{
	QORPXI95XX_BARMEM_INFO info;
	int i;

	memset(&info, 0, sizeof(info));
	for (i = 0; i < VORTAQ_BAR_COUNT; i++) {
		info.BarType[i] = (u8)pDevExt->BarType[i];
		info.BarPhysicalAddress[i] = pDevExt->busAddr[i].physicalAddress;
		info.BarLength[i] = pDevExt->busAddr[i].length;
	}
	return vq_copy_to_user(arg, &info, sizeof(info));
}

/**
 * Release_DmaMem() - unpin the buffer of a channel's slot
 * @pDevExt: adapter
 * @channel: slot 0-3; a slot without buffer is left alone
 */
void Release_DmaMem(DEVICE_EXTENSION *pDevExt, u32 channel)
{
	DMA_XFER *pXfer;

	vq_mutex_lock(&pDevExt->DmaXferLock);
	pXfer = pDevExt->pDmaXfer[channel];
	pDevExt->pDmaXfer[channel] = NULL;
	vq_mutex_unlock(&pDevExt->DmaXferLock);
	if (pXfer) {
		ReleaseUserDMABuffer(pDevExt, pXfer);
		vq_free(pXfer);
	}
}

/* Request 2373: pins a buffer that the card's channel writes into. */
static long Alloc_DmaMem(DEVICE_EXTENSION *pDevExt, u64 arg)
{
	GET_DMA_MEM record;
	DMA_XFER *pXfer;

	if (vq_copy_from_user(&record, arg, sizeof(record)))
		return -EFAULT;
	if (record.ChannelNum >= VORTAQ_PIN_SLOTS)
		return -EBADR;
	if (record.BufferUser_VA == 0 || record.Length == 0 || record.Length > VORTAQ_MAX_PIN_BYTES ||
	    record.BufferUser_VA + record.Length < record.BufferUser_VA)
		return -EINVAL;
	Release_DmaMem(pDevExt, record.ChannelNum);
	pXfer = UserToDMABuffer(pDevExt, record.BufferUser_VA, record.Length, XFER_CARD_TO_HOST);
	if (!pXfer)
		return -EMSGSIZE;
	record.NumPages = (u32)pXfer->numPages;
	record.BufferSize = record.NumPages * PAGE_SIZE;
	vq_mutex_lock(&pDevExt->DmaXferLock);
	if (pDevExt->pDmaXfer[record.ChannelNum]) {
		/* Another caller pinned this slot meanwhile. */
		vq_mutex_unlock(&pDevExt->DmaXferLock);
		ReleaseUserDMABuffer(pDevExt, pXfer);
		vq_free(pXfer);
		return -EBUSY;
	}
	pDevExt->pDmaXfer[record.ChannelNum] = pXfer;
	vq_mutex_unlock(&pDevExt->DmaXferLock);
	return vq_copy_to_user(arg, &record, sizeof(record));
}

/* Request 2374. */
static long ReleaseDmaMemRequest(DEVICE_EXTENSION *pDevExt, u64 arg)
{
	u32 channel;

	if (vq_copy_from_user(&channel, arg, sizeof(channel)))
		return -EFAULT;
	if (channel >= VORTAQ_PIN_SLOTS)
		return -EBADR;
	Release_DmaMem(pDevExt, channel);
	return 0;
}

/* Request 2375: only the header's first 12 bytes are read; the reply overwrites the record from its start. */
static long Get_PageTable(DEVICE_EXTENSION *pDevExt, u64 arg)
{
	GET_SGL header;
	SG_ENTRY *entries;
	DMA_XFER *pXfer;
	long result;
	u32 i;

	memset(&header, 0, sizeof(header));
	if (vq_copy_from_user(&header, arg, VORTAQ_GET_SGL_HEADER_BYTES))
		return -EFAULT;
	if (header.ChannelNum >= VORTAQ_PIN_SLOTS)
		return -EFAULT;
	vq_mutex_lock(&pDevExt->DmaXferLock);
	pXfer = pDevExt->pDmaXfer[header.ChannelNum];
	if (!pXfer || header.NumPages != (u32)pXfer->numPages) {
		vq_mutex_unlock(&pDevExt->DmaXferLock);
		return -EFAULT;
	}
	entries = vq_zalloc((size_t)header.NumPages * sizeof(SG_ENTRY));
	if (!entries) {
		vq_mutex_unlock(&pDevExt->DmaXferLock);
		return -ENOMEM;
	}
	for (i = 0; i < pXfer->pinned.numSegments && i < header.NumPages; i++) {
		entries[i].LogicalAddress = pXfer->pinned.segments[i].bus;
		entries[i].Size = pXfer->pinned.segments[i].length;
	}
	vq_mutex_unlock(&pDevExt->DmaXferLock);
	result = vq_copy_to_user(arg, entries, (size_t)header.NumPages * sizeof(SG_ENTRY));
	vq_free(entries);
	return result;
}

/**
 * VortaqIOCtl() - a board request on the device file
 * @pDevExt: adapter
 * @request: request number
 * @arg: user address of the request's record
 *
 * Return: 0 or a negative errno: -EINVAL for a NULL record or invalid values, -EFAULT for a record that cannot be
 * copied, -ENOMEM, -EPERM for writes without the capability, -EBADR for a slot above 3, -EMSGSIZE when a buffer
 * cannot be pinned, -EBUSY when a slot was pinned meanwhile, -ENOTTY for a request it does not serve.
 */
long VortaqIOCtl(DEVICE_EXTENSION *pDevExt, unsigned int request, u64 arg)
{
	if (!arg)
		return -EINVAL;
	switch (request) {
	case VORTAQ_GET_BOARD_CONFIG:
		if (ReadPCIConfigHeader(pDevExt))
			return -EIO;
		return vq_copy_to_user(arg, &pDevExt->BoardConfig, sizeof(pDevExt->BoardConfig));
	case VORTAQ_READ_BAR:
	case VORTAQ_WRITE_BAR:
		return VortaqReadWriteMem(pDevExt, arg, request == VORTAQ_READ_BAR);
	case VORTAQ_WRITE_PCI_CONFIG:
	case VORTAQ_READ_PCI_CONFIG:
		return VortaqReadWritePCIConfig(pDevExt, arg, request == VORTAQ_READ_PCI_CONFIG);
	case VORTAQ_GET_BARMEM_INFO:
		return GetBoardConfigEx(pDevExt, arg);
	case VORTAQ_ALLOC_DMA_MEM:
		return Alloc_DmaMem(pDevExt, arg);
	case VORTAQ_RELEASE_DMA_MEM:
		return ReleaseDmaMemRequest(pDevExt, arg);
	case VORTAQ_GET_PAGE_TABLE:
		return Get_PageTable(pDevExt, arg);
	case VORTAQ_NO_OPERATION:
		return 0;
	default:
		return -ENOTTY;
	}
}

/* Request 2312: the counts since the previous request. */
static long GetDmaPerfNumbers(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 arg)
{
	CHANNEL_STAT_STRUCT record;
	unsigned long flags;

	if (vq_copy_from_user(&record, arg, sizeof(record)))
		return -EFAULT;
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	record.RequestCount = (u32)pDMAChExt->DMATransferCount;
	record.IntsPerSecond = (u32)pDMAChExt->InterruptCount;
	record.DPCsPerSecond = (u32)pDMAChExt->DPCsCount;
	record.DMAErrors = (u32)pDMAChExt->DMAErrors;
	pDMAChExt->DMATransferCount = 0;
	pDMAChExt->InterruptCount = 0;
	pDMAChExt->DPCsCount = 0;
	pDMAChExt->DMAErrors = 0;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	return vq_copy_to_user(arg, &record, sizeof(record));
}

static long SetupChannelRequest(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 arg)
{
	SETUP_CHANNEL_STRUCT record;
	long result;

	if (vq_copy_from_user(&record, arg, sizeof(record)))
		return -EFAULT;
	if (record.ChannelNum != pDMAChExt->DmaChannel)
		return -EINVAL;
	result = SetupChannelIOCtlHandler(pDMAChExt, &record);
	if (vq_copy_to_user(arg, &record, sizeof(record)) && !result)
		result = -EFAULT;
	return result;
}

static long ShutdownChannelRequest(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 arg)
{
	SHUTDOWN_CHANNEL_STRUCT record;
	long result;

	if (vq_copy_from_user(&record, arg, sizeof(record)))
		return -EFAULT;
	if (record.ChannelNum != pDMAChExt->DmaChannel)
		return -EINVAL;
	result = ShutdownChannelIOCtlHandler(pDMAChExt, &record);
	if (vq_copy_to_user(arg, &record, sizeof(record)) && !result)
		result = -EFAULT;
	return result;
}

/*
 * Copies in a FIFO request of header + count entries, the count read first from its field at countOffset. The
 * count in the copied record must be the one the size was computed from: user space may have changed it.
 */
static void *CopyInFifoRequest(u64 arg, size_t headerBytes, size_t countOffset, size_t entryBytes, u16 *count,
			       long *result)
{
	u16 first;
	void *record;

	if (vq_copy_from_user(&first, arg + countOffset, sizeof(first))) {
		*result = -EFAULT;
		return NULL;
	}
	if (first == 0 || first > VORTAQ_FIFO_MAX_ENTRIES) {
		*result = -EINVAL;
		return NULL;
	}
	record = vq_zalloc(headerBytes + first * entryBytes);
	if (!record) {
		*result = -ENOMEM;
		return NULL;
	}
	if (vq_copy_from_user(record, arg, headerBytes + first * entryBytes)) {
		vq_free(record);
		*result = -EFAULT;
		return NULL;
	}
	if (memcmp((u8 *)record + countOffset, &first, sizeof(first)) != 0) {
		vq_free(record);
		*result = -EINVAL;
		return NULL;
	}
	*count = first;
	*result = 0;
	return record;
}

static long FifoToHostRequest(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 arg)
{
	FIFO_C2S_STRUCT *record;
	u16 count;
	long result;

	record = CopyInFifoRequest(arg, sizeof(FIFO_C2S_STRUCT), offsetof(FIFO_C2S_STRUCT, AvailNumEntries),
				   sizeof(FIFOC2S_ENTRY_STRUCT), &count, &result);
	if (!record)
		return result;
	if (record->ChannelNum != pDMAChExt->DmaChannel) {
		vq_free(record);
		return -EINVAL;
	}
	record->ChannelStatus = 0;
	result = FIFOc2sIOCtlHandler(pDMAChExt, record);
	if (vq_copy_to_user(arg, record, sizeof(*record) + count * sizeof(FIFOC2S_ENTRY_STRUCT)) && !result)
		result = -EFAULT;
	vq_free(record);
	return result;
}

static long FifoToCardRequest(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 arg)
{
	FIFO_S2C_STRUCT *record;
	u16 count;
	long result;

	record = CopyInFifoRequest(arg, sizeof(FIFO_S2C_STRUCT), offsetof(FIFO_S2C_STRUCT, NumEntries),
				   sizeof(FIFOS2C_ENTRY_STRUCT), &count, &result);
	if (!record)
		return result;
	if (record->ChannelNum != pDMAChExt->DmaChannel) {
		vq_free(record);
		return -EINVAL;
	}
	result = FIFOs2cIOCtlHandler(pDMAChExt, record);
	if (!result)
		result = vq_copy_to_user(arg, record, sizeof(*record) + count * sizeof(FIFOS2C_ENTRY_STRUCT));
	vq_free(record);
	return result;
}

static bool MessageAnswered(void *arg)
{
	DMA_CHANNEL_EXTENSION *pDMAChExt = arg;
	unsigned long flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	bool answered = pDMAChExt->translationCompleted || pDMAChExt->ChannelStatus == CHANNEL_RELEASING;

	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	return answered;
}

/*
 * Request 2354: waits up to the caller's time-out for a message answer and consumes it; -ETIME otherwise, -ENODEV
 * as soon as the adapter's removal begins.
 */
static long WaitforMsgAnswer(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 arg)
{
	unsigned long flags;
	u32 timeoutMs;
	long result = 0;

	if (vq_copy_from_user(&timeoutMs, arg, sizeof(timeoutMs)))
		return -EFAULT;
	if (vq_wait(&pDMAChExt->translationComplete, MessageAnswered, pDMAChExt, timeoutMs) <= 0 &&
	    !MessageAnswered(pDMAChExt))
		return -ETIME;
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	if (pDMAChExt->ChannelStatus == CHANNEL_RELEASING)
		result = -ENODEV;
	else
		pDMAChExt->translationCompleted = false;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	return result;
}

/**
 * VortaqDMAIOCtl() - a channel request on a channel file
 * @pDMAChExt: channel
 * @request: request number
 * @arg: user address of the request's record
 *
 * Return: the request's result: 0, -ENOSYS when the file is not open, -EINVAL for a NULL record, another
 * channel's number or an entry count outside 1-256 (or changed while it was copied), -EFAULT, -ENOMEM, -ETIME
 * when no message answer came, -ENODEV while the adapter is being removed, -ENOTTY for a request it does not
 * serve, or the FIFO handlers' results.
 */
long VortaqDMAIOCtl(DMA_CHANNEL_EXTENSION *pDMAChExt, unsigned int request, u64 arg)
{
	if (!pDMAChExt->fbOpen)
		return -ENOSYS;
	if (!arg)
		return -EINVAL;
	switch (request) {
	case VORTAQ_READ_BAR:
	case VORTAQ_WRITE_BAR:
		return VortaqReadWriteMem(pDMAChExt->pDevExt, arg, request == VORTAQ_READ_BAR);
	case VORTAQ_GET_CHANNEL_STATS:
		return GetDmaPerfNumbers(pDMAChExt, arg);
	case VORTAQ_SETUP_CHANNEL:
		return SetupChannelRequest(pDMAChExt, arg);
	case VORTAQ_SHUTDOWN_CHANNEL:
		return ShutdownChannelRequest(pDMAChExt, arg);
	case VORTAQ_FIFO_C2S:
		return FifoToHostRequest(pDMAChExt, arg);
	case VORTAQ_FIFO_S2C:
		return FifoToCardRequest(pDMAChExt, arg);
	case VORTAQ_WAIT_MSG_ANSWER:
		return WaitforMsgAnswer(pDMAChExt, arg);
	default:
		return -ENOTTY;
	}
}
