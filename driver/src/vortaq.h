/*
 * The Vortaq driver's data model: the adapter (one per card), its DMA channels and the transfers they carry,
 * and the functions the driver's files share. Written against the OS layer (vortaq_os.h) so that the same logic
 * is built as the kernel module and as a user-space library for tests.
 */
#ifndef VORTAQ_H
#define VORTAQ_H

#include "vortaq_os.h"

#define VORTAQ_DRIVER_NAME "Pxi95xx"
#define VORTAQ_VERSION_MAJOR 2019
#define VORTAQ_VERSION_MINOR 1
#define VORTAQ_VERSION_SUBMINOR 9
#define VORTAQ_VERSION_BUILD 1

/* The PCI identities the driver serves: two card models (second engine generation), two reference designs. */
#define VORTAQ_CARD_VENDOR_ID 0x1C3A
#define VORTAQ_CARD_DEVICE_ID_A 0x9501
#define VORTAQ_CARD_DEVICE_ID_B 0x9502
#define VORTAQ_ENGINE_VENDOR_ID 0x1C3B
#define VORTAQ_REFERENCE_DEVICE_ID_A 0x7001
#define VORTAQ_REFERENCE_DEVICE_ID_B 0x7002

/* Descriptor counts per ring that the driver accepts (module parameters). */
#define VORTAQ_MIN_ELEMENTS 2u
#define VORTAQ_MAX_ELEMENTS 65536u
#define VORTAQ_DEFAULT_ELEMENTS 16384u

/* How long a read or write waits for the engine before it gives the transfer up. */
#define VORTAQ_TRANSFER_TIMEOUT_MS 10000u
/* How long a FIFO request waits for the channel's interrupt: 25 ticks of the Debian kernel (HZ 250). */
#define VORTAQ_FIFO_WAIT_MS 100u

#define VORTAQ_BAR_COUNT 6
#define VORTAQ_PIN_SLOTS 4

enum {
	BAR_TYPE_DMA_REGISTERS = 0,
	BAR_TYPE_MEMORY = 1,
	BAR_TYPE_UNUSABLE = 3,
};

enum {
	CHANNEL_RELEASING = 1,
	CHANNEL_INITIALISING = 2,
	CHANNEL_READY = 3,
};

enum _eDMA_MODES {
	DMA_MODE_NOT_SET = 0,
	DMA_MODE_READ_WRITE = 1,
	DMA_MODE_FIFO = 2,
	DMA_MODE_STREAMING = 3,
	DMA_MODE_ADDRESSABLE = 4,
	DMA_MODE_GE_FW_CMD = 5,
};

enum {
	XFER_HOST_TO_CARD = 0, /* write */
	XFER_CARD_TO_HOST = 1, /* read: the engine writes the pages */
};

enum xfer_state {
	XFER_WAITING,    /* on DMAWaitList until the rings have room */
	XFER_PROGRAMMED, /* on DMATransactionList */
	XFER_DONE,       /* completed or cancelled; status tells which */
};

struct _DEVICE_EXTENSION;

/* One read or write on a channel file, or one page of a FIFO buffer or of a pinned buffer. */
typedef struct _DMA_XFER {
	struct list_head list;
	u64 length;
	s32 numPages;
	struct vq_pinned pinned;
	s32 direction;
	u64 CardAddress;
	u32 SrcElementCount, DstElementCount;
	enum xfer_state state;
	bool abandoned; /* its caller left; the channel releases it once the engine is done with it */
	s32 status;     /* 0 done, -EIO failed in the engine or cancelled, -EINTR never programmed */
	u32 BytesTransfered;
	u32 BufferOffset;
} DMA_XFER;

typedef struct _FIFO_TABLE_ENTRY {
	DMA_XFER *transfer;
	s32 ID;
} FIFO_TABLE_ENTRY;

typedef struct _DMA_CHANNEL_EXTENSION {
	vq_iomem Registers; /* the channel's window in BAR0 */
	u16 DmaChannel;
	u16 ChannelStatus;
	struct _DEVICE_EXTENSION *pDevExt;
	u32 NumberOfSrcElements, NumberOfUsedSrcElements;
	u32 NumberOfDstElements, NumberOfUsedDstElements;
	u32 NumberOfStatElements;
	u32 AllocatedSrcElements, AllocatedDstElements; /* ring sizes as allocated */
	s32 LastElemProcessed;
	u32 DMAChannelMSIVector;
	u64 MaximumTransferLength;
	vq_tasklet CompletionTasklet;
	struct list_head DMAWaitList, DMATransactionList;
	struct list_head AbandonedList; /* completed transfers whose callers left */
	u64 pSrcElementBasePhysical;
	SOURCE_SG_ELEMENT_STRUCT *pSrcElementBase;
	u32 NextSrcElemIndex;
	u64 pDstElementBasePhysical;
	DESTINATION_SG_ELEMENT_STRUCT *pDstElementBase;
	u32 NextDstElemIndex;
	u64 pStatElementBasePhysical;
	u8 *pStatElementBase;
	u32 StatElementSize; /* 4 or 8: the size the engine currently writes */
	u32 NextStatElemIndex, TailStatElemIndex;
	size_t SrcRingBytes, DstRingBytes, StatRingBytes;
	vq_spinlock DMAEngSemaphore;
	vq_mutex FIFOS2C_lock; /* serialises the FIFO requests, opening, closing and shutdown; before the spin lock */
	bool fbOpen;
	s32 DMATransferCount, InterruptCount, DPCsCount, DMAErrors;
	FIFO_TABLE_ENTRY *pFIFOTable;
	u64 UserVa;
	u32 UserVaLength;
	u32 DMAMode;
	u32 FIFOModeDirection;
	vq_waitq TransferEvents; /* a transfer completed or the rings have room */
	u32 TransferTimeoutMs;
	vq_waitq FIFOComplete;
	bool FIFOCompleted;
	u32 FifoWaitMs;
	vq_waitq translationComplete; /* a message answer arrived (channel 0) */
	bool translationCompleted;
} DMA_CHANNEL_EXTENSION;

typedef struct _BUS_ADDRESS {
	vq_iomem virtualAddress;
	u64 physicalAddress;
	u32 length;
} BUS_ADDRESS;

/* Bits of the adapter's flags. */
#define VORTAQ_FLAG_REGIONS 0x1u    /* the PCI regions are requested */
#define VORTAQ_FLAG_LEGACY_IRQ 0x4u /* the shared legacy handler is installed */
#define VORTAQ_FLAG_MSIX 0x80u      /* one MSI-X vector per channel */
#define VORTAQ_FLAG_MSI 0x100u      /* one MSI vector for all channels */
#define VORTAQ_FLAG_ENABLED 0x200u  /* the PCI device is enabled */

#define VORTAQ_NAME_BYTES 12

#define VORTAQ_MAPPED_INODES 4

struct inode;
struct proc_dir_entry;

/* An information file of the adapter's /proc directory: its text comes from show. */
typedef struct _VORTAQ_PROCFS_ENTRY {
	const char *name;
	void (*show)(vq_seq *seq, struct _DEVICE_EXTENSION *pDevExt);
	struct _DEVICE_EXTENSION *pDevExt;
} VORTAQ_PROCFS_ENTRY;

#define VORTAQ_TEXT_FILES 3

typedef struct _DEVICE_EXTENSION {
	struct list_head AdapterLink; /* in the module's list of adapters */
	u8 BoardNumber;
	char Name[VORTAQ_NAME_BYTES]; /* "Pxi95xx" and the board number: the /proc directory's name */
	u32 flags;
	u32 NumIRQVectors;
	bool interruptAvailable;
	bool UseMSIX; /* this card may try one MSI-X vector per channel */
	struct proc_dir_entry *ProcDirectory; /* kernel build */
	/* Kernel build: the device file's inodes (one per /proc instance) through which the registers are mapped. */
	struct inode *MappedInodes[VORTAQ_MAPPED_INODES];
	vq_mutex MappingLock;
	VORTAQ_PROCFS_ENTRY TextFiles[VORTAQ_TEXT_FILES]; /* this adapter's copy of Vortaqprocfs_table */
	vq_pci_dev *pPciDev;
	u32 NumberDMAChannels;
	BUS_ADDRESS busAddr[VORTAQ_BAR_COUNT];
	s32 numBusAddr;
	bool v1;
	vq_iomem pDmaRegisters; /* BAR0: the channels' windows */
	DMA_CHANNEL_EXTENSION *pDMAChExt[VORTAQ_MAX_CHANNELS];
	u32 CfgNumberSrcElements, CfgNumberDstElements;
	BOARD_CONFIG_STRUCT BoardConfig;
	u64 BaseAddresses[VORTAQ_BAR_COUNT];
	u64 BaseSizes[VORTAQ_BAR_COUNT];
	u16 BarType[VORTAQ_BAR_COUNT];
	u16 BarTransferTypes[VORTAQ_BAR_COUNT];
	u32 AddressSize;
	DMA_XFER *pDmaXfer[VORTAQ_PIN_SLOTS]; /* buffers pinned for the card's channels 0-3 */
	vq_mutex DmaXferLock;
} DEVICE_EXTENSION;

/* A ring keeps one element free: a limit equal to the engine's position reads as an empty queue. */
static inline u32 RingFreeElements(u32 size, u32 used)
{
	return used + 1 >= size ? 0 : size - 1 - used;
}

/* VortaqInit: configuration space, engine discovery and channel initialisation. */
void VortaqAdapterInit(DEVICE_EXTENSION *pDevExt, vq_pci_dev *pPciDev);
int ReadPCIConfigHeader(DEVICE_EXTENSION *pDevExt);
int GetPCIConfig(DEVICE_EXTENSION *pDevExt);
bool FindPCIMSIXCapabilites(const DEVICE_EXTENSION *pDevExt);
int VortaqDmaInit(DEVICE_EXTENSION *pDevExt, u32 srcElements, u32 dstElements);
void InitializeDMAChannel(DMA_CHANNEL_EXTENSION *pDMAChExt);
void StopDMAChannel(DMA_CHANNEL_EXTENSION *pDMAChExt);
void VortaqDmaRelease(DEVICE_EXTENSION *pDevExt);
int GetDMAChannelContext(DEVICE_EXTENSION *pDevExt, u32 channel, DMA_CHANNEL_EXTENSION **ppDMAChExt);
u64 CalcNumPages(u64 address, u64 length);

/* VortaqDMA: descriptor programming and completion. The first three expect the channel's spin lock held. */
bool TransferFits(const DMA_CHANNEL_EXTENSION *pDMAChExt, const DMA_XFER *pXfer);
int ProgramDmaChannel(DMA_CHANNEL_EXTENSION *pDMAChExt, DMA_XFER *pXfer);
bool StartNextDmaTransactions(DMA_CHANNEL_EXTENSION *pDMAChExt);
void ChannelTasklet(unsigned long data);
void CancelDmaTransactions(DMA_CHANNEL_EXTENSION *pDMAChExt);

/* VortaqReadWrite: reads and writes on a channel file, and the pinned user buffers they move. */
DMA_XFER *UserToDMABuffer(DEVICE_EXTENSION *pDevExt, u64 address, u64 length, s32 direction);
void ReleaseUserDMABuffer(DEVICE_EXTENSION *pDevExt, DMA_XFER *pXfer);
void ReapAbandonedTransfers(DMA_CHANNEL_EXTENSION *pDMAChExt);
long VortaqTransfer(DMA_CHANNEL_EXTENSION *pDMAChExt, u64 buffer, u64 count, u64 cardAddress, s32 direction);

/* VortaqFIFO: FIFO mode of second-generation channels; the records are kernel copies the caller checked. */
int SetupChannelIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, SETUP_CHANNEL_STRUCT *pSetup);
int ShutdownChannelIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, const SHUTDOWN_CHANNEL_STRUCT *pShutdown);
int FIFOs2cIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, FIFO_S2C_STRUCT *pRequest);
int FIFOc2sIOCtlHandler(DMA_CHANNEL_EXTENSION *pDMAChExt, FIFO_C2S_STRUCT *pRequest);
void LeaveFifoMode(DMA_CHANNEL_EXTENSION *pDMAChExt);

/* VortaqIrq: interrupt handling. */
bool VortaqChannelInterrupt(DMA_CHANNEL_EXTENSION *pDMAChExt);
bool VortaqAdapterInterrupt(DEVICE_EXTENSION *pDevExt);
void VortaqDisableInterrupts(DEVICE_EXTENSION *pDevExt);
void VortaqEnableInterrupts(DEVICE_EXTENSION *pDevExt);

/* VortaqAdapter: the list of adapters, their names, and shutting an adapter's channels down. */
int VortaqNextBoardNumber(const struct list_head *adapters);
void VortaqNameAdapter(DEVICE_EXTENSION *pDevExt, u8 boardNumber);
DEVICE_EXTENSION *VortaqFindAdapter(const struct list_head *adapters, const vq_pci_dev *pPciDev);
void VortaqQuiesceAdapter(DEVICE_EXTENSION *pDevExt);

/* VortaqProcfs: what the /proc files do, apart from the kernel's file plumbing; the information files by name. */
extern const VORTAQ_PROCFS_ENTRY Vortaqprocfs_table[VORTAQ_TEXT_FILES];
int VortaqDMAOpen(DMA_CHANNEL_EXTENSION *pDMAChExt);
void VortaqDMAClose(DMA_CHANNEL_EXTENSION *pDMAChExt);
int VortaqMapCheck(const DEVICE_EXTENSION *pDevExt, u64 length);
void DisplayConfigInfo(vq_seq *seq, DEVICE_EXTENSION *pDevExt);
void DisplayPCIConfig(vq_seq *seq, DEVICE_EXTENSION *pDevExt);
void DisplayCardConfig(vq_seq *seq, DEVICE_EXTENSION *pDevExt);

/* VortaqIOCtl: control requests on the device file and on a channel file; arg is the caller's record address. */
long VortaqIOCtl(DEVICE_EXTENSION *pDevExt, unsigned int request, u64 arg);
long VortaqDMAIOCtl(DMA_CHANNEL_EXTENSION *pDMAChExt, unsigned int request, u64 arg);
void Release_DmaMem(DEVICE_EXTENSION *pDevExt, u32 channel);

#ifdef __KERNEL__
/* Kernel glue: the /proc entries and the interrupt vectors. */
int InitProcFs(DEVICE_EXTENSION *pDevExt, u32 group);
void RemoveProcFs(DEVICE_EXTENSION *pDevExt);
int RequestIRQ(DEVICE_EXTENSION *pDevExt);
void ReleaseIRQ(DEVICE_EXTENSION *pDevExt);
#endif

#endif /* VORTAQ_H */
