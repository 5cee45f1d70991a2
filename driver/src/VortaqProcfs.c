/*
 * What an adapter's /proc files do, apart from the kernel's file plumbing (vortaq_procfs_linux.c): opening and
 * closing a channel file, the checks before the register block is mapped, and the text of the information files.
 */
#include "vortaq.h"

const VORTAQ_PROCFS_ENTRY Vortaqprocfs_table[VORTAQ_TEXT_FILES] = {
	{ "pci", DisplayPCIConfig, NULL },
	{ "card", DisplayCardConfig, NULL },
	{ "info", DisplayConfigInfo, NULL },
};

/* Stops the channel, ends what its last user left programmed and gives the engine empty rings. */
static void ResetChannel(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	StopDMAChannel(pDMAChExt);
	CancelDmaTransactions(pDMAChExt);
	ReapAbandonedTransfers(pDMAChExt);
	InitializeDMAChannel(pDMAChExt);
}

/**
 * VortaqDMAOpen() - open a channel file: one opener at a time, on a fresh channel
 * @pDMAChExt: channel
 * Return: 0, or -EBUSY when the channel is open, not ready or being removed.
 */
int VortaqDMAOpen(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	unsigned long flags;
	int result = 0;

	vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	if (pDMAChExt->ChannelStatus != CHANNEL_READY || pDMAChExt->fbOpen)
		result = -EBUSY;
	else
		pDMAChExt->fbOpen = true;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	if (!result)
		ResetChannel(pDMAChExt);
	vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
	return result;
}

/**
 * VortaqDMAClose() - close a channel file
 * @pDMAChExt: channel; no request or transfer of the file runs any more
 *
 * A channel in FIFO mode leaves it and releases its buffer; any other channel is reset. A channel whose adapter
 * is being removed is stopped already and left alone: its buffers go with the adapter.
 */
void VortaqDMAClose(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	unsigned long flags;

	vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
	if (pDMAChExt->fbOpen && pDMAChExt->ChannelStatus != CHANNEL_RELEASING) {
		if (pDMAChExt->DMAMode == DMA_MODE_FIFO)
			LeaveFifoMode(pDMAChExt);
		else
			ResetChannel(pDMAChExt);
		flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
		pDMAChExt->DMAMode = DMA_MODE_NOT_SET;
		vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	}
	pDMAChExt->fbOpen = false;
	vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
}

/**
 * VortaqMapCheck() - whether the caller may map the DMA register block (BAR0) over length bytes
 * @pDevExt: adapter
 * @length: bytes of the mapping, whole pages; it always starts at BAR0's start
 *
 * The registers take bus addresses, so a mapping reaches all of host memory: it needs the administrator's
 * capability. Return: 0; -EPERM without the capability; -EIO without BAR0; -EINVAL for 0 bytes or more than the
 * pages that hold BAR0.
 */
int VortaqMapCheck(const DEVICE_EXTENSION *pDevExt, u64 length)
{
	u64 pages = ((u64)pDevExt->busAddr[0].length + PAGE_SIZE - 1) / PAGE_SIZE;

	if (!vq_capable_admin())
		return -EPERM;
	if (pDevExt->busAddr[0].physicalAddress == 0)
		return -EIO;
	if (length == 0 || length > pages * PAGE_SIZE)
		return -EINVAL;
	return 0;
}

/**
 * DisplayConfigInfo() - the text of "info": each channel's counters and its descriptors in use
 * @seq: text file
 * @pDevExt: adapter
 */
void DisplayConfigInfo(vq_seq *seq, DEVICE_EXTENSION *pDevExt)
{
	u32 i;

	vq_seq_printf(seq, "Channel Statistics:\n");
	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++) {
		const DMA_CHANNEL_EXTENSION *pDMAChExt = pDevExt->pDMAChExt[i];

		if (!pDMAChExt)
			continue;
		vq_seq_printf(seq, "  DmaChannel[%2d]: Requests: %u ISRS:%u, Tasklets:%u\n", (int)i,
			      (u32)pDMAChExt->DMATransferCount, (u32)pDMAChExt->InterruptCount, (u32)pDMAChExt->DPCsCount);
		vq_seq_printf(seq, "Number of Used Source Elements[%2d]: %u\n", (int)i, pDMAChExt->NumberOfUsedSrcElements);
		vq_seq_printf(seq, "Number of Used Destination Elements[%2d]: %u\n", (int)i,
			      pDMAChExt->NumberOfUsedDstElements);
	}
}

static void PrintPCIHeader(vq_seq *seq, const PCI_CONFIG_HEADER *config)
{
	int i;

	vq_seq_printf(seq, "  VendorID:                     0x%04X\n", config->VendorId);
	vq_seq_printf(seq, "  DeviceID:                     0x%04X\n", config->DeviceId);
	vq_seq_printf(seq, "  Command:                      0x%04X\n", config->Command);
	vq_seq_printf(seq, "  Status:                       0x%04X\n", config->Status);
	vq_seq_printf(seq, "  RevisionID:                   0x%02X\n", config->RevisionId);
	vq_seq_printf(seq, "  ProgIf:                       0x%02X\n", config->Interface);
	vq_seq_printf(seq, "  SubClass:                     0x%02X\n", config->SubClass);
	vq_seq_printf(seq, "  BaseClass:                    0x%02X\n", config->BaseClass);
	vq_seq_printf(seq, "  CacheLineSize:                0x%02X\n", config->CacheLineSize);
	vq_seq_printf(seq, "  LatencyTimer:                 0x%02X\n", config->LatencyTimer);
	vq_seq_printf(seq, "  HeaderType:                   0x%02X\n", config->HeaderType);
	vq_seq_printf(seq, "  BuiltInSelfTest:              0x%02X\n", config->BIST);
	for (i = 0; i < VORTAQ_BAR_COUNT; i++)
		vq_seq_printf(seq, "  BAR[%2d]:                      0x%08X\n", i, config->BarCfg[i]);
	vq_seq_printf(seq, "  CardBusCISPtr:                0x%08X\n", config->CardBusCISPtr);
	vq_seq_printf(seq, "  SubsystemVendorID:            0x%04X\n", config->SubsystemVendorId);
	vq_seq_printf(seq, "  SubsystemID:                  0x%04X\n", config->SubsystemId);
	vq_seq_printf(seq, "  ROMBaseAddress:               0x%08X\n", config->ExpRomCfg);
	vq_seq_printf(seq, "  CapabilitiesPtr:              0x%02X\n", config->CapabilitiesPtr);
	vq_seq_printf(seq, "  InterruptLine:                0x%02X\n", config->InterruptLine);
	vq_seq_printf(seq, "  InterruptPin:                 0x%02X\n", config->InterruptPin);
	vq_seq_printf(seq, "  MinimumGrant:                 0x%02X\n", config->MinimumGrant);
	vq_seq_printf(seq, "  MaximumLatency:               0x%02X\n", config->MaximumLatency);
}

/**
 * DisplayPCIConfig() - the text of "pci": the configuration header, read again, and the BAR table
 * @seq: text file
 * @pDevExt: adapter
 */
void DisplayPCIConfig(vq_seq *seq, DEVICE_EXTENSION *pDevExt)
{
	const PCI_CONFIG_HEADER *config = &pDevExt->BoardConfig.PciConfig;
	u32 i;

	ReadPCIConfigHeader(pDevExt);
	vq_seq_printf(seq, "PCI Configuration Info:\n");
	PrintPCIHeader(seq, config);
	vq_seq_printf(seq, "  DeviceSpecific: (Offset 0x%llx)\n",
		      (unsigned long long)offsetof(PCI_CONFIG_HEADER, DeviceSpecific));
	for (i = 0; i < sizeof(config->DeviceSpecific); i++) {
		if (i % 16 == 0)
			vq_seq_printf(seq, "\noffset 0x%x: ", i);
		vq_seq_printf(seq, " %02X", config->DeviceSpecific[i]);
	}
	vq_seq_printf(seq, "\n");
	vq_seq_printf(seq, "  -----------------\n");
	for (i = 0; i < VORTAQ_BAR_COUNT; i++) {
		vq_seq_printf(seq, "  BaseAddresses[%d]:0x%llX", (int)i, (unsigned long long)pDevExt->BaseAddresses[i]);
		vq_seq_printf(seq, " [0x%08llX]", (unsigned long long)pDevExt->BaseSizes[i]);
		vq_seq_printf(seq, " Type:%d", pDevExt->BarType[i]);
		vq_seq_printf(seq, " XferType:0x%04X", pDevExt->BarTransferTypes[i]);
		vq_seq_printf(seq, "\n");
	}
	vq_seq_printf(seq, "  AddressSize:             0x%08x\n", pDevExt->AddressSize);
}

/* A configuration word read byte by byte: 0 or the read's negative errno. */
static int ReadConfigWord(vq_pci_dev *dev, u32 offset, u16 *value)
{
	u8 low, high;
	int result = vq_pci_read_config_byte(dev, offset, &low);

	if (!result)
		result = vq_pci_read_config_byte(dev, offset + 1, &high);
	if (!result)
		*value = (u16)(low | high << 8);
	return result;
}

/**
 * DisplayCardConfig() - the text of "card": the driver's version, the card's identity and its channel count
 * @seq: text file
 * @pDevExt: adapter
 */
void DisplayCardConfig(vq_seq *seq, DEVICE_EXTENSION *pDevExt)
{
	u16 word;

	vq_seq_printf(seq, "Card Configuration Info:\n");
	vq_seq_printf(seq, "  DriverVersion:                 %d.%d.%d.%d\n", VORTAQ_VERSION_MAJOR, VORTAQ_VERSION_MINOR,
		      VORTAQ_VERSION_SUBMINOR, VORTAQ_VERSION_BUILD);
	if (!ReadConfigWord(pDevExt->pPciDev, 0, &word))
		vq_seq_printf(seq, "  VendorID:                     0x%04X\n", word);
	if (!ReadConfigWord(pDevExt->pPciDev, 2, &word))
		vq_seq_printf(seq, "  DeviceID:                     0x%04X\n", word);
	vq_seq_printf(seq, "  NumDmaChannels:                %d\n", (int)pDevExt->BoardConfig.NumDmaChannels);
}
