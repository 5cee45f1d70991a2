/* Configuration space, engine discovery and channel initialisation. */
#include "vortaq.h"

#define PCI_CAPABILITY_LIST 0x34
#define PCI_CAPABILITY_MSI 0x05
#define PCI_CAPABILITY_MSIX 0x11
#define PCI_FIRST_CAPABILITY 0x40
/* As many capabilities as fit into the header's device-specific area: a cyclic list ends the walk there. */
#define PCI_MAX_CAPABILITIES 48

/**
 * VortaqAdapterInit() - prepare a zeroed adapter record for its PCI device
 * @pDevExt: adapter
 * @pPciDev: its device
 */
void VortaqAdapterInit(DEVICE_EXTENSION *pDevExt, vq_pci_dev *pPciDev)
{
	pDevExt->pPciDev = pPciDev;
	pDevExt->BoardConfig.DriverVersionMajor = VORTAQ_VERSION_MAJOR;
	pDevExt->BoardConfig.DriverVersionMinor = VORTAQ_VERSION_MINOR;
	pDevExt->BoardConfig.DriverVersionSubMinor = VORTAQ_VERSION_SUBMINOR;
	pDevExt->BoardConfig.DriverVersionBuildNumber = VORTAQ_VERSION_BUILD;
	vq_mutex_init(&pDevExt->DmaXferLock);
	vq_mutex_init(&pDevExt->MappingLock);
}

/**
 * ReadPCIConfigHeader() - copy the 256 bytes of the configuration header into the board configuration
 * @pDevExt: adapter
 * Return: 0 or the configuration read's negative errno.
 */
int ReadPCIConfigHeader(DEVICE_EXTENSION *pDevExt)
{
	u8 *header = (u8 *)&pDevExt->BoardConfig.PciConfig;
	u32 offset;

	for (offset = 0; offset < sizeof(PCI_CONFIG_HEADER); offset++) {
		int result = vq_pci_read_config_byte(pDevExt->pPciDev, offset, &header[offset]);

		if (result)
			return result;
	}
	return 0;
}

/**
 * GetPCIConfig() - copy the configuration header and classify the BARs
 * @pDevExt: adapter whose busAddr entries hold the BAR mappings
 *
 * A memory BAR is usable when its configured address is the address that was mapped; BAR0 then holds the
 * engine's channel windows. Return: 0 or the configuration read's negative errno.
 */
int GetPCIConfig(DEVICE_EXTENSION *pDevExt)
{
	const PCI_CONFIG_HEADER *config = &pDevExt->BoardConfig.PciConfig;
	int result = ReadPCIConfigHeader(pDevExt);
	int i;

	if (result)
		return result;
	pDevExt->AddressSize = 32;
	pDevExt->v1 = config->DeviceId != VORTAQ_CARD_DEVICE_ID_A && config->DeviceId != VORTAQ_CARD_DEVICE_ID_B;
	for (i = 0; i < VORTAQ_BAR_COUNT; i++) {
		u32 value = config->BarCfg[i];
		const BUS_ADDRESS *mapping = &pDevExt->busAddr[i];

		pDevExt->BarType[i] = BAR_TYPE_UNUSABLE;
		pDevExt->BarTransferTypes[i] = 0;
		pDevExt->BaseAddresses[i] = 0;
		pDevExt->BaseSizes[i] = 0;
		if (value == 0 || (value & 1) != 0)
			continue;
		if ((value & ~0xFu) != (u32)mapping->physicalAddress || !mapping->virtualAddress)
			continue;
		pDevExt->BaseAddresses[i] = value & ~0xFu;
		if (i == 0) {
			pDevExt->BarType[i] = BAR_TYPE_DMA_REGISTERS;
			pDevExt->BarTransferTypes[i] = 4;
			pDevExt->pDmaRegisters = mapping->virtualAddress;
		} else {
			pDevExt->BarType[i] = BAR_TYPE_MEMORY;
			pDevExt->BarTransferTypes[i] = 7;
		}
		if ((value & 6) == 4) {
			pDevExt->BarTransferTypes[i] += 8;
			if (i + 1 < VORTAQ_BAR_COUNT)
				pDevExt->BaseAddresses[i] |= (u64)config->BarCfg[i + 1] << 32;
		}
		pDevExt->BaseSizes[i] = mapping->length;
	}
	return 0;
}

/**
 * FindPCIMSIXCapabilites() - whether the card offers MSI-X or MSI
 * @pDevExt: adapter with its configuration header copied
 *
 * The walk masks each pointer to a dword, stops below the standard header and ends after as many capabilities as
 * the header can hold, so a broken or cyclic list cannot hang the probe.
 */
bool FindPCIMSIXCapabilites(const DEVICE_EXTENSION *pDevExt)
{
	const u8 *header = (const u8 *)&pDevExt->BoardConfig.PciConfig;
	u32 position = header[PCI_CAPABILITY_LIST] & 0xFCu;
	int steps;

	for (steps = 0; steps < PCI_MAX_CAPABILITIES && position >= PCI_FIRST_CAPABILITY; steps++) {
		u8 id = header[position];

		if (id == PCI_CAPABILITY_MSIX || id == PCI_CAPABILITY_MSI)
			return true;
		position = header[position + 1] & 0xFCu;
	}
	return false;
}

u64 CalcNumPages(u64 address, u64 length)
{
	if (address == 0 || length == 0)
		return 0;
	return ((address + length - 1) / PAGE_SIZE) - (address / PAGE_SIZE) + 1;
}

static size_t RingBytes(u32 elements, u32 elementSize)
{
	return ((size_t)elements * elementSize + 63) & ~(size_t)31;
}

static void WriteQueuePointer(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 offset, u64 value)
{
	vq_write32(pDMAChExt->Registers, offset, (u32)value);
	vq_write32(pDMAChExt->Registers, offset + 4, (u32)(value >> 32));
}

static void SetBits32(vq_iomem window, u32 offset, u32 bits, bool on)
{
	u32 value = vq_read32(window, offset);

	vq_write32(window, offset, on ? value | bits : value & ~bits);
}

static void StopV2Engine(vq_iomem window)
{
	if (vq_read32(window, V2_DMA_STATUS) & V2_DMA_RUNNING)
		vq_udelay(1);
	SetBits32(window, V2_PCIE_INT_CONTROL, V2_PCIE_INT_ENABLE | V2_DMA_ERROR_ENABLE | V2_DMA_SGL_ENABLE, false);
	SetBits32(window, V2_DMA_CONTROL, V2_DMA_ENABLE, false);
	if (vq_read32(window, V2_DMA_STATUS) & V2_DMA_RUNNING) {
		SetBits32(window, V2_DMA_CONTROL, V2_DMA_RESET, true);
		vq_udelay(1);
		SetBits32(window, V2_DMA_CONTROL, V2_DMA_RESET, false);
	}
}

static void StopV1Engine(vq_iomem window)
{
	u16 control = vq_read16(window, V1_DMA_CONTROL);

	if (control & V1_DMA_RUNNING)
		vq_udelay(1);
	/* Bit 1 of the status acknowledges an interrupt when written: leave it 0. */
	vq_write8(window, V1_PCIE_STATUS, vq_read8(window, V1_PCIE_STATUS) & ~(V1_PCIE_INT_ENABLE | V1_PCIE_INT_STATUS));
	vq_write16(window, V1_DMA_CONTROL, vq_read16(window, V1_DMA_CONTROL) & ~V1_DMA_ENABLE);
	if (vq_read16(window, V1_DMA_CONTROL) & V1_DMA_RUNNING) {
		vq_write16(window, V1_DMA_CONTROL, vq_read16(window, V1_DMA_CONTROL) | V1_DMA_RESET);
		vq_udelay(1);
		vq_write16(window, V1_DMA_CONTROL, vq_read16(window, V1_DMA_CONTROL) & ~V1_DMA_RESET);
	}
}

/**
 * StopDMAChannel() - switch the channel's engine and its interrupts off, resetting it when it still runs
 * @pDMAChExt: channel
 */
void StopDMAChannel(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	if (pDMAChExt->pDevExt->v1)
		StopV1Engine(pDMAChExt->Registers);
	else
		StopV2Engine(pDMAChExt->Registers);
}

static void ResetIndices(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	pDMAChExt->NextSrcElemIndex = 0;
	pDMAChExt->NextDstElemIndex = 0;
	pDMAChExt->NextStatElemIndex = 0;
	pDMAChExt->TailStatElemIndex = 0;
	pDMAChExt->NumberOfUsedSrcElements = 0;
	pDMAChExt->NumberOfUsedDstElements = 0;
	pDMAChExt->LastElemProcessed = 0;
}

/* Zeroes the descriptors; each one's handle is its 1-based position. */
static void PrepareSourceRing(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	u32 i;

	for (i = 0; i < pDMAChExt->NumberOfSrcElements; i++) {
		SOURCE_SG_ELEMENT_STRUCT *element = &pDMAChExt->pSrcElementBase[i];

		element->SRC_ADDRESS = 0;
		element->BYTE_COUNT_FLAGS = 0;
		element->USER_HANDLE = (u16)(i + 1);
		element->USER_ID = 0;
	}
}

static void PrepareDestinationRing(DMA_CHANNEL_EXTENSION *pDMAChExt, u32 flags)
{
	u32 i;

	for (i = 0; i < pDMAChExt->NumberOfDstElements; i++) {
		DESTINATION_SG_ELEMENT_STRUCT *element = &pDMAChExt->pDstElementBase[i];

		element->DEST_ADDRESS = 0;
		element->BYTE_COUNT_FLAGS = flags;
		element->USER_HANDLE = (u16)(i + 1);
		element->Reserved = 0;
	}
}

static void InitializeDMAV2Channel(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	vq_iomem window = pDMAChExt->Registers;
	bool fifo = pDMAChExt->DMAMode == DMA_MODE_FIFO;
	bool cardToHost = pDMAChExt->FIFOModeDirection == VORTAQ_FIFO_CARD_TO_HOST;
	u32 i;

	pDMAChExt->ChannelStatus = CHANNEL_INITIALISING;
	StopV2Engine(window);
	pDMAChExt->pFIFOTable[0].transfer = NULL;
	pDMAChExt->pFIFOTable[0].ID = 0;
	ResetIndices(pDMAChExt);
	vq_write32(window, V2_SRC_Q_NEXT, 0);
	vq_write32(window, V2_DST_Q_NEXT, 0);
	vq_write32(window, V2_STA_Q_NEXT, 0);
	vq_write32(window, V2_STAD_Q_NEXT, 0);

	if (!(fifo && cardToHost)) {
		WriteQueuePointer(pDMAChExt, V2_SRC_Q_PTR, pDMAChExt->pSrcElementBasePhysical | QUEUE_ENABLE);
		vq_write32(window, V2_SRC_Q_SIZE, pDMAChExt->NumberOfSrcElements);
		vq_write32(window, V2_SRC_Q_LIMIT, 0);
		PrepareSourceRing(pDMAChExt);
		for (i = 1; i < pDMAChExt->NumberOfSrcElements; i++) {
			pDMAChExt->pFIFOTable[i].transfer = NULL;
			pDMAChExt->pFIFOTable[i].ID = (s32)i;
		}
	} else {
		WriteQueuePointer(pDMAChExt, V2_SRC_Q_PTR, pDMAChExt->pSrcElementBasePhysical);
	}
	if (!(fifo && !cardToHost)) {
		WriteQueuePointer(pDMAChExt, V2_DST_Q_PTR, pDMAChExt->pDstElementBasePhysical | QUEUE_ENABLE);
		vq_write32(window, V2_DST_Q_SIZE, pDMAChExt->NumberOfDstElements);
		vq_write32(window, V2_DST_Q_LIMIT, 0);
		PrepareDestinationRing(pDMAChExt, SG_PACK_NEXT);
		for (i = 1; i < pDMAChExt->NumberOfDstElements; i++) {
			pDMAChExt->pFIFOTable[i].transfer = NULL;
			pDMAChExt->pFIFOTable[i].ID = (s32)i;
		}
	} else {
		WriteQueuePointer(pDMAChExt, V2_DST_Q_PTR, pDMAChExt->pDstElementBasePhysical);
	}

	memset(pDMAChExt->pStatElementBase, 0, pDMAChExt->StatRingBytes);
	if (!fifo) {
		/* Channels above 1 write 8-byte status elements even outside FIFO mode. */
		pDMAChExt->StatElementSize = pDMAChExt->DmaChannel < 2 ? 4 : 8;
		WriteQueuePointer(pDMAChExt, V2_STAD_Q_PTR, pDMAChExt->pStatElementBasePhysical);
		WriteQueuePointer(pDMAChExt, V2_STA_Q_PTR, pDMAChExt->pStatElementBasePhysical | QUEUE_ENABLE);
		vq_write32(window, V2_STA_Q_SIZE, pDMAChExt->NumberOfStatElements);
		vq_write32(window, V2_STA_Q_LIMIT, 0);
		SetBits32(window, V2_DMA_CONTROL, V2_DMA_STAT_SIZE, pDMAChExt->StatElementSize == 8);
	} else {
		pDMAChExt->StatElementSize = 8;
		WriteQueuePointer(pDMAChExt, V2_STA_Q_PTR, pDMAChExt->pStatElementBasePhysical);
		WriteQueuePointer(pDMAChExt, V2_STAD_Q_PTR, pDMAChExt->pStatElementBasePhysical | QUEUE_ENABLE);
		vq_write32(window, V2_STAD_Q_SIZE, pDMAChExt->NumberOfStatElements);
		vq_write32(window, V2_STAD_Q_LIMIT, 0);
		SetBits32(window, V2_DMA_CONTROL, V2_DMA_STAT_SIZE, true);
	}

	SetBits32(window, V2_DMA_CONTROL, V2_DMA_ENABLE, true);
	SetBits32(window, V2_PCIE_INT_CONTROL,
		  V2_PCIE_INT_ENABLE | V2_DMA_ERROR_ENABLE | (fifo ? 0 : V2_DMA_SGL_ENABLE), true);
	pDMAChExt->ChannelStatus = CHANNEL_READY;
}

static void InitializeDMAV1Channel(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	vq_iomem window = pDMAChExt->Registers;

	pDMAChExt->ChannelStatus = CHANNEL_INITIALISING;
	StopV1Engine(window);
	ResetIndices(pDMAChExt);
	pDMAChExt->StatElementSize = 4;
	vq_write32(window, V1_SRC_Q_NEXT, 0);
	vq_write32(window, V1_DST_Q_NEXT, 0);
	vq_write32(window, V1_STA_Q_NEXT, 0);
	WriteQueuePointer(pDMAChExt, V1_SRC_Q_PTR, pDMAChExt->pSrcElementBasePhysical);
	vq_write32(window, V1_SRC_Q_SIZE, pDMAChExt->NumberOfSrcElements);
	vq_write32(window, V1_SRC_Q_LIMIT, 0);
	WriteQueuePointer(pDMAChExt, V1_DST_Q_PTR, pDMAChExt->pDstElementBasePhysical);
	vq_write32(window, V1_DST_Q_SIZE, pDMAChExt->NumberOfDstElements);
	vq_write32(window, V1_DST_Q_LIMIT, 0);
	WriteQueuePointer(pDMAChExt, V1_STA_Q_PTR, pDMAChExt->pStatElementBasePhysical);
	vq_write32(window, V1_STA_Q_SIZE, pDMAChExt->NumberOfStatElements);
	vq_write32(window, V1_STA_Q_LIMIT, 0);
	PrepareSourceRing(pDMAChExt);
	PrepareDestinationRing(pDMAChExt, 0);
	memset(pDMAChExt->pStatElementBase, 0, pDMAChExt->StatRingBytes);
	vq_write16(window, V1_DMA_CONTROL, vq_read16(window, V1_DMA_CONTROL) | V1_DMA_ENABLE);
	vq_write8(window, V1_PCIE_STATUS, (vq_read8(window, V1_PCIE_STATUS) & ~V1_PCIE_INT_STATUS) | V1_PCIE_INT_ENABLE);
	pDMAChExt->ChannelStatus = CHANNEL_READY;
}

/**
 * InitializeDMAChannel() - stop the channel and hand the engine empty rings for its current mode
 * @pDMAChExt: channel with no transfer programmed
 */
void InitializeDMAChannel(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	if (pDMAChExt->pDevExt->v1)
		InitializeDMAV1Channel(pDMAChExt);
	else
		InitializeDMAV2Channel(pDMAChExt);
}

static void FreeChannel(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	vq_pci_dev *dev = pDMAChExt->pDevExt->pPciDev;

	if (pDMAChExt->pSrcElementBase)
		vq_dma_free_coherent(dev, pDMAChExt->SrcRingBytes, pDMAChExt->pSrcElementBase,
				     pDMAChExt->pSrcElementBasePhysical);
	if (pDMAChExt->pDstElementBase)
		vq_dma_free_coherent(dev, pDMAChExt->DstRingBytes, pDMAChExt->pDstElementBase,
				     pDMAChExt->pDstElementBasePhysical);
	if (pDMAChExt->pStatElementBase)
		vq_dma_free_coherent(dev, pDMAChExt->StatRingBytes, pDMAChExt->pStatElementBase,
				     pDMAChExt->pStatElementBasePhysical);
	vq_free(pDMAChExt->pFIFOTable);
	vq_free(pDMAChExt);
}

static DMA_CHANNEL_EXTENSION *CreateChannel(DEVICE_EXTENSION *pDevExt, u32 index, u32 srcElements, u32 dstElements)
{
	DMA_CHANNEL_EXTENSION *pDMAChExt = vq_zalloc(sizeof(*pDMAChExt));
	u32 statElements = srcElements > dstElements ? srcElements : dstElements;

	if (!pDMAChExt)
		return NULL;
	pDMAChExt->pDevExt = pDevExt;
	pDMAChExt->DmaChannel = (u16)index;
	pDMAChExt->Registers = (u8 __iomem *)pDevExt->pDmaRegisters +
			       index * (pDevExt->v1 ? VORTAQ_V1_WINDOW_SIZE : VORTAQ_V2_WINDOW_SIZE);
	INIT_LIST_HEAD(&pDMAChExt->DMAWaitList);
	INIT_LIST_HEAD(&pDMAChExt->DMATransactionList);
	INIT_LIST_HEAD(&pDMAChExt->AbandonedList);
	vq_spin_init(&pDMAChExt->DMAEngSemaphore);
	vq_waitq_init(&pDMAChExt->TransferEvents);
	vq_waitq_init(&pDMAChExt->FIFOComplete);
	vq_waitq_init(&pDMAChExt->translationComplete);
	vq_mutex_init(&pDMAChExt->FIFOS2C_lock);
	vq_tasklet_init(&pDMAChExt->CompletionTasklet, ChannelTasklet, (unsigned long)pDMAChExt);
	pDMAChExt->NumberOfSrcElements = pDMAChExt->AllocatedSrcElements = srcElements;
	pDMAChExt->NumberOfDstElements = pDMAChExt->AllocatedDstElements = dstElements;
	pDMAChExt->NumberOfStatElements = statElements;
	pDMAChExt->DMAChannelMSIVector = index;
	pDMAChExt->MaximumTransferLength = (u64)statElements * PAGE_SIZE;
	pDMAChExt->TransferTimeoutMs = VORTAQ_TRANSFER_TIMEOUT_MS;
	pDMAChExt->FifoWaitMs = VORTAQ_FIFO_WAIT_MS;

	pDMAChExt->SrcRingBytes = RingBytes(srcElements, sizeof(SOURCE_SG_ELEMENT_STRUCT));
	pDMAChExt->DstRingBytes = RingBytes(dstElements, sizeof(DESTINATION_SG_ELEMENT_STRUCT));
	pDMAChExt->StatRingBytes = RingBytes(statElements, pDevExt->v1 ? 4 : sizeof(STATUS_ELEMENT64_STRUCT));
	pDMAChExt->pSrcElementBase = vq_dma_alloc_coherent(pDevExt->pPciDev, pDMAChExt->SrcRingBytes,
							   &pDMAChExt->pSrcElementBasePhysical);
	pDMAChExt->pDstElementBase = vq_dma_alloc_coherent(pDevExt->pPciDev, pDMAChExt->DstRingBytes,
							   &pDMAChExt->pDstElementBasePhysical);
	pDMAChExt->pStatElementBase = vq_dma_alloc_coherent(pDevExt->pPciDev, pDMAChExt->StatRingBytes,
							    &pDMAChExt->pStatElementBasePhysical);
	pDMAChExt->pFIFOTable = vq_zalloc(((size_t)statElements + 1) * sizeof(FIFO_TABLE_ENTRY));
	if (!pDMAChExt->pSrcElementBase || !pDMAChExt->pDstElementBase || !pDMAChExt->pStatElementBase ||
	    !pDMAChExt->pFIFOTable) {
		FreeChannel(pDMAChExt);
		return NULL;
	}
	memset(pDMAChExt->pSrcElementBase, 0, pDMAChExt->SrcRingBytes);
	memset(pDMAChExt->pDstElementBase, 0, pDMAChExt->DstRingBytes);
	memset(pDMAChExt->pStatElementBase, 0, pDMAChExt->StatRingBytes);
	return pDMAChExt;
}

static bool ChannelPresent(const DEVICE_EXTENSION *pDevExt, u32 index)
{
	if (pDevExt->v1)
		return vq_read16((u8 __iomem *)pDevExt->pDmaRegisters + index * VORTAQ_V1_WINDOW_SIZE,
				 V1_DMA_CONTROL) & V1_DMA_PRESENT;
	return vq_read32((u8 __iomem *)pDevExt->pDmaRegisters + index * VORTAQ_V2_WINDOW_SIZE, V2_DMA_STATUS) &
	       V2_DMA_PRESENT;
}

/**
 * VortaqDmaInit() - find the engine's channels and give each present one its rings
 * @pDevExt: adapter with BAR0 mapped and classified
 * @srcElements: source descriptors per channel
 * @dstElements: destination descriptors per channel
 *
 * Only the windows that lie inside BAR0's mapping are probed. A channel whose memory cannot be allocated is
 * left out. Return: 0 when at least one channel is ready, -EINVAL for descriptor counts outside the ring limits,
 * -ENODEV otherwise.
 */
int VortaqDmaInit(DEVICE_EXTENSION *pDevExt, u32 srcElements, u32 dstElements)
{
	u32 windowSize = pDevExt->v1 ? VORTAQ_V1_WINDOW_SIZE : VORTAQ_V2_WINDOW_SIZE;
	u32 windows;
	u32 i;

	pDevExt->NumberDMAChannels = 0;
	if (!pDevExt->pDmaRegisters)
		return -ENODEV;
	if (srcElements < VORTAQ_MIN_ELEMENTS || srcElements > VORTAQ_MAX_ELEMENTS ||
	    dstElements < VORTAQ_MIN_ELEMENTS || dstElements > VORTAQ_MAX_ELEMENTS)
		return -EINVAL;
	pDevExt->CfgNumberSrcElements = srcElements;
	pDevExt->CfgNumberDstElements = dstElements;
	windows = pDevExt->busAddr[0].length / windowSize;
	if (windows > VORTAQ_MAX_CHANNELS)
		windows = VORTAQ_MAX_CHANNELS;
	for (i = 0; i < windows; i++) {
		DMA_CHANNEL_EXTENSION *pDMAChExt;

		if (!ChannelPresent(pDevExt, i))
			continue;
		pDMAChExt = CreateChannel(pDevExt, i, srcElements, dstElements);
		if (!pDMAChExt)
			continue;
		InitializeDMAChannel(pDMAChExt);
		pDevExt->pDMAChExt[i] = pDMAChExt;
		pDevExt->NumberDMAChannels++;
		pDevExt->BoardConfig.NumDmaChannels++;
	}
	return pDevExt->NumberDMAChannels ? 0 : -ENODEV;
}

/**
 * VortaqDmaRelease() - stop every channel's engine, end its transfers and free its rings and record; unpin the
 * buffers pinned for the card's channels
 * @pDevExt: adapter whose files are all gone and whose interrupts are released
 */
void VortaqDmaRelease(DEVICE_EXTENSION *pDevExt)
{
	u32 i;

	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++) {
		DMA_CHANNEL_EXTENSION *pDMAChExt = pDevExt->pDMAChExt[i];

		if (!pDMAChExt)
			continue;
		pDMAChExt->ChannelStatus = CHANNEL_RELEASING;
		if (pDMAChExt->DMAMode == DMA_MODE_FIFO)
			LeaveFifoMode(pDMAChExt);
		StopDMAChannel(pDMAChExt);
		CancelDmaTransactions(pDMAChExt);
		vq_tasklet_kill(&pDMAChExt->CompletionTasklet);
		ReapAbandonedTransfers(pDMAChExt);
		FreeChannel(pDMAChExt);
		pDevExt->pDMAChExt[i] = NULL;
	}
	pDevExt->NumberDMAChannels = 0;
	/* The engines are stopped: the card no longer writes into these. */
	for (i = 0; i < VORTAQ_PIN_SLOTS; i++)
		Release_DmaMem(pDevExt, i);
}

/**
 * GetDMAChannelContext() - the channel record of an engine index
 * @pDevExt: adapter
 * @channel: engine index
 * @ppDMAChExt: the record, on success
 *
 * Return: 0, or -ENODEV for an index beyond the engine or a channel that is not present.
 */
int GetDMAChannelContext(DEVICE_EXTENSION *pDevExt, u32 channel, DMA_CHANNEL_EXTENSION **ppDMAChExt)
{
	if (channel >= VORTAQ_MAX_CHANNELS || !pDevExt->pDMAChExt[channel])
		return -ENODEV;
	*ppDMAChExt = pDevExt->pDMAChExt[channel];
	return 0;
}
