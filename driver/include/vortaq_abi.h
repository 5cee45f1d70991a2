/*
 * The interface between the Vortaq PCIe DMA driver and its users (libQorPxi95xx_API): control request numbers,
 * the records they exchange, the DMA engine's register windows and descriptor formats. Compiled by the kernel
 * module, by the driver's user-space build and by C++ libraries; every record is pinned by static assertions.
 * All fields are little endian; "user address" fields carry a pointer of the calling process.
 */
#ifndef VORTAQ_ABI_H
#define VORTAQ_ABI_H

#ifdef __KERNEL__
#include <linux/stddef.h>
#include <linux/types.h>
#else
#include <stddef.h>
#include <stdint.h>
#endif

#ifdef __cplusplus
#define VORTAQ_ABI_ASSERT(condition) static_assert(condition, #condition)
#else
#define VORTAQ_ABI_ASSERT(condition) _Static_assert(condition, #condition)
#endif

/* Control requests: plain numbers, the argument is always a pointer to the record named beside each. */
enum {
	VORTAQ_GET_BOARD_CONFIG = 2304,  /* device file: out BOARD_CONFIG_STRUCT */
	VORTAQ_READ_BAR = 2306,          /* device and channel files: in/out MEM_COPY_STRUCT */
	VORTAQ_WRITE_BAR = 2307,         /* device and channel files: in/out MEM_COPY_STRUCT */
	VORTAQ_GET_CHANNEL_STATS = 2312, /* channel file: in/out CHANNEL_STAT_STRUCT */
	VORTAQ_WRITE_PCI_CONFIG = 2313,  /* device file: in/out RW_PCI_CONFIG_STRUCT */
	VORTAQ_READ_PCI_CONFIG = 2314,   /* device file: in/out RW_PCI_CONFIG_STRUCT */
	VORTAQ_SETUP_CHANNEL = 2336,     /* channel file: in/out SETUP_CHANNEL_STRUCT */
	VORTAQ_SHUTDOWN_CHANNEL = 2337,  /* channel file: in/out SHUTDOWN_CHANNEL_STRUCT */
	VORTAQ_FIFO_C2S = 2342,          /* channel file: in/out FIFO_C2S_STRUCT */
	VORTAQ_FIFO_S2C = 2343,          /* channel file: in/out FIFO_S2C_STRUCT */
	VORTAQ_WAIT_MSG_ANSWER = 2354,   /* channel file: in u32 time-out in ms */
	VORTAQ_GET_BARMEM_INFO = 2371,   /* device file: out QORPXI95XX_BARMEM_INFO */
	VORTAQ_ALLOC_DMA_MEM = 2373,     /* device file: in/out GET_DMA_MEM */
	VORTAQ_RELEASE_DMA_MEM = 2374,   /* device file: in u32 channel */
	VORTAQ_GET_PAGE_TABLE = 2375,    /* device file: in GET_SGL header, out SG_ENTRY list */
	VORTAQ_NO_OPERATION = 2376,      /* device file: any */
};

/* The standard 256-byte PCI configuration header. */
typedef struct _PCI_CONFIG_HEADER {
	uint16_t VendorId;           /* +0 */
	uint16_t DeviceId;           /* +2 */
	uint16_t Command;            /* +4 */
	uint16_t Status;             /* +6 */
	uint8_t RevisionId;          /* +8 */
	uint8_t Interface;           /* +9 */
	uint8_t SubClass;            /* +10 */
	uint8_t BaseClass;           /* +11 */
	uint8_t CacheLineSize;       /* +12 */
	uint8_t LatencyTimer;        /* +13 */
	uint8_t HeaderType;          /* +14 */
	uint8_t BIST;                /* +15 */
	uint32_t BarCfg[6];          /* +16 */
	uint32_t CardBusCISPtr;      /* +40 */
	uint16_t SubsystemVendorId;  /* +44 */
	uint16_t SubsystemId;        /* +46 */
	uint32_t ExpRomCfg;          /* +48 */
	uint8_t CapabilitiesPtr;     /* +52 */
	uint8_t Reserved1[3];        /* +53 */
	uint32_t Reserved2;          /* +56 */
	uint8_t InterruptLine;       /* +60 */
	uint8_t InterruptPin;        /* +61 */
	uint8_t MinimumGrant;        /* +62 */
	uint8_t MaximumLatency;      /* +63 */
	uint8_t DeviceSpecific[192]; /* +64 */
} PCI_CONFIG_HEADER;
VORTAQ_ABI_ASSERT(sizeof(PCI_CONFIG_HEADER) == 256);
VORTAQ_ABI_ASSERT(offsetof(PCI_CONFIG_HEADER, BarCfg) == 16);
VORTAQ_ABI_ASSERT(offsetof(PCI_CONFIG_HEADER, CapabilitiesPtr) == 52);
VORTAQ_ABI_ASSERT(offsetof(PCI_CONFIG_HEADER, InterruptLine) == 60);
VORTAQ_ABI_ASSERT(offsetof(PCI_CONFIG_HEADER, DeviceSpecific) == 64);

/* Request 2304. */
typedef struct _BOARD_CONFIG_STRUCT {
	PCI_CONFIG_HEADER PciConfig;      /* +0 */
	uint32_t NumDmaChannels;          /* +256 */
	uint16_t DriverVersionMajor;      /* +260 */
	uint16_t DriverVersionMinor;      /* +262 */
	uint16_t DriverVersionSubMinor;   /* +264 */
	uint16_t DriverVersionBuildNumber; /* +266 */
} BOARD_CONFIG_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(BOARD_CONFIG_STRUCT) == 268);
VORTAQ_ABI_ASSERT(offsetof(BOARD_CONFIG_STRUCT, NumDmaChannels) == 256);
VORTAQ_ABI_ASSERT(offsetof(BOARD_CONFIG_STRUCT, DriverVersionBuildNumber) == 266);

/* Requests 2306 and 2307. */
typedef struct _MEM_COPY_STRUCT {
	uint32_t BarNum;     /* +0 */
	uint32_t Reserved;   /* +4 */
	uint64_t CardOffset; /* +8 */
	uint64_t Length;     /* +16 */
	uint64_t Buffer;     /* +24 user address */
} MEM_COPY_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(MEM_COPY_STRUCT) == 32);
VORTAQ_ABI_ASSERT(offsetof(MEM_COPY_STRUCT, CardOffset) == 8);
VORTAQ_ABI_ASSERT(offsetof(MEM_COPY_STRUCT, Buffer) == 24);

/* Requests 2313 and 2314. */
typedef struct _RW_PCI_CONFIG_STRUCT {
	uint32_t Offset; /* +0 */
	uint32_t Length; /* +4 */
	uint64_t Buffer; /* +8 user address */
} RW_PCI_CONFIG_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(RW_PCI_CONFIG_STRUCT) == 16);
VORTAQ_ABI_ASSERT(offsetof(RW_PCI_CONFIG_STRUCT, Buffer) == 8);

/* Request 2371: the BAR table, fields packed without gaps. */
typedef struct __attribute__((packed)) _QORPXI95XX_BARMEM_INFO {
	uint8_t BarType[6];               /* +0 */
	uint64_t BarPhysicalAddress[6];   /* +6 */
	uint64_t BarVirtualAddress[6];    /* +54 always 0: kernel addresses stay in the kernel */
	uint32_t BarLength[6];            /* +102 */
} QORPXI95XX_BARMEM_INFO;
VORTAQ_ABI_ASSERT(sizeof(QORPXI95XX_BARMEM_INFO) == 126);
VORTAQ_ABI_ASSERT(offsetof(QORPXI95XX_BARMEM_INFO, BarPhysicalAddress) == 6);
VORTAQ_ABI_ASSERT(offsetof(QORPXI95XX_BARMEM_INFO, BarVirtualAddress) == 54);
VORTAQ_ABI_ASSERT(offsetof(QORPXI95XX_BARMEM_INFO, BarLength) == 102);

/* Request 2373. */
typedef struct _GET_DMA_MEM {
	uint32_t BoardNum;      /* +0 */
	uint32_t ChannelNum;    /* +4 */
	uint64_t Length;        /* +8 */
	uint32_t BufferSize;    /* +16 out */
	uint32_t Reserved1;     /* +20 */
	uint64_t BufferUser_VA; /* +24 user address */
	uint64_t BufferBase_LA; /* +32 */
	uint32_t NumPages;      /* +40 out */
	uint32_t Reserved2;     /* +44 */
} GET_DMA_MEM;
VORTAQ_ABI_ASSERT(sizeof(GET_DMA_MEM) == 48);
VORTAQ_ABI_ASSERT(offsetof(GET_DMA_MEM, BufferSize) == 16);
VORTAQ_ABI_ASSERT(offsetof(GET_DMA_MEM, BufferUser_VA) == 24);
VORTAQ_ABI_ASSERT(offsetof(GET_DMA_MEM, NumPages) == 40);

/* Request 2375: the reply overwrites the record from offset 0 with NumPages entries. */
typedef struct _SG_ENTRY {
	uint64_t LogicalAddress; /* +0 bus address */
	uint64_t Size;           /* +8 */
} SG_ENTRY;
VORTAQ_ABI_ASSERT(sizeof(SG_ENTRY) == 16);

typedef struct _GET_SGL {
	uint32_t BoardNum;   /* +0 */
	uint32_t ChannelNum; /* +4 */
	uint32_t NumPages;   /* +8 */
	uint32_t Reserved;   /* +12 */
	SG_ENTRY Entries[];  /* +16 */
} GET_SGL;
VORTAQ_ABI_ASSERT(offsetof(GET_SGL, Entries) == 16);
/* The bytes of the header that the driver reads: callers may own no more. */
#define VORTAQ_GET_SGL_HEADER_BYTES 12u

/* Request 2312: counts since the previous statistics request. */
typedef struct _CHANNEL_STAT_STRUCT {
	uint32_t ChannelNum;    /* +0 */
	uint32_t RequestCount;  /* +4 */
	uint32_t IntsPerSecond; /* +8 */
	uint32_t DPCsPerSecond; /* +12 */
	uint32_t DMAErrors;     /* +16 */
} CHANNEL_STAT_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(CHANNEL_STAT_STRUCT) == 20);

/* FIFO mode (second engine generation only). */
#define VORTAQ_ALLOCATION_MODE_FIFO 2u
#define VORTAQ_FIFO_CARD_TO_HOST 0u
#define VORTAQ_FIFO_MAX_ENTRIES 256u
#define VORTAQ_FIFO_WAIT_FOR_INTERRUPT 0x80000000u /* bit 31 of the status / release word */
#define VORTAQ_FIFO_STATUS_MASK 0x7FFFFFFFu

/* Request 2336. */
typedef struct _SETUP_CHANNEL_STRUCT {
	uint32_t ChannelNum;     /* +0 */
	uint32_t AllocationMode; /* +4 */
	uint32_t Direction;      /* +8 0 card to host, other host to card */
	uint32_t RESERVED2;      /* +12 */
	uint32_t RESERVED3;      /* +16 */
	uint32_t RESERVED4;      /* +20 */
	uint32_t Length;         /* +24 */
	uint32_t Reserved5;      /* +28 */
	uint64_t BufferAddress;  /* +32 user address */
} SETUP_CHANNEL_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(SETUP_CHANNEL_STRUCT) == 40);
VORTAQ_ABI_ASSERT(offsetof(SETUP_CHANNEL_STRUCT, Length) == 24);
VORTAQ_ABI_ASSERT(offsetof(SETUP_CHANNEL_STRUCT, BufferAddress) == 32);

/* Request 2337. */
typedef struct _SHUTDOWN_CHANNEL_STRUCT {
	uint32_t ChannelNum;     /* +0 */
	uint32_t AllocationMode; /* +4 */
} SHUTDOWN_CHANNEL_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(SHUTDOWN_CHANNEL_STRUCT) == 8);

/* Request 2343, host to card: 20 + 8 n bytes. */
typedef struct _FIFOS2C_ENTRY_STRUCT {
	uint32_t Offset; /* +0 in the buffer */
	uint32_t Length; /* +4 */
} FIFOS2C_ENTRY_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(FIFOS2C_ENTRY_STRUCT) == 8);

typedef struct _FIFO_S2C_STRUCT {
	uint16_t ChannelNum;            /* +0 */
	uint16_t NumEntries;            /* +2 1 to 256 */
	uint16_t NumEntriesSent;        /* +4 out */
	uint16_t Reserved;              /* +6 */
	uint32_t NumAvailableElements;  /* +8 out */
	uint32_t LastTransactionStatus; /* +12 out */
	uint32_t TransactionStatus;     /* +16 bits 0-30 out, bit 31 WaitForInterrupt in */
	FIFOS2C_ENTRY_STRUCT Entries[]; /* +20 */
} FIFO_S2C_STRUCT;
VORTAQ_ABI_ASSERT(offsetof(FIFO_S2C_STRUCT, TransactionStatus) == 16);
VORTAQ_ABI_ASSERT(offsetof(FIFO_S2C_STRUCT, Entries) == 20);

/* Request 2342, card to host: 12 + 20 n bytes. */
typedef struct _FIFOC2S_ENTRY_STRUCT {
	uint32_t Offset;         /* +0 */
	uint32_t Length;         /* +4 */
	uint32_t Status;         /* +8 */
	uint16_t UserHandle;     /* +12 */
	uint16_t UserID;         /* +14 */
	uint32_t NumberElements; /* +16 */
} FIFOC2S_ENTRY_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(FIFOC2S_ENTRY_STRUCT) == 20);

typedef struct _FIFO_C2S_STRUCT {
	uint16_t ChannelNum;            /* +0 */
	uint16_t AvailNumEntries;       /* +2 1 to 256 */
	uint16_t RetNumEntries;         /* +4 out */
	uint16_t ChannelStatus;         /* +6 out */
	uint32_t ReleaseCount;          /* +8 bits 0-30 in, bit 31 WaitForInterrupt in */
	FIFOC2S_ENTRY_STRUCT Entries[]; /* +12 */
} FIFO_C2S_STRUCT;
VORTAQ_ABI_ASSERT(offsetof(FIFO_C2S_STRUCT, ReleaseCount) == 8);
VORTAQ_ABI_ASSERT(offsetof(FIFO_C2S_STRUCT, Entries) == 12);

/*
 * DMA engine: channel register windows in BAR0, second generation (128 bytes each) and first (64 bytes each).
 * Queue pointers hold the ring's bus address with QUEUE_LOCATION/QUEUE_ENABLE or-ed into the low bits.
 */
#define VORTAQ_V2_WINDOW_SIZE 128u
#define VORTAQ_V1_WINDOW_SIZE 64u
#define VORTAQ_MAX_CHANNELS 1024u

enum {
	V2_SRC_Q_PTR = 0, V2_SRC_Q_SIZE = 8, V2_SRC_Q_LIMIT = 12,
	V2_DST_Q_PTR = 16, V2_DST_Q_SIZE = 24, V2_DST_Q_LIMIT = 28,
	V2_STA_Q_PTR = 32, V2_STA_Q_SIZE = 40, V2_STA_Q_LIMIT = 44,
	V2_STAD_Q_PTR = 48, V2_STAD_Q_SIZE = 56, V2_STAD_Q_LIMIT = 60,
	V2_SRC_Q_NEXT = 64, V2_DST_Q_NEXT = 68, V2_STA_Q_NEXT = 72, V2_STAD_Q_NEXT = 76,
	V2_SCRATCH0 = 80, V2_SCRATCH1 = 84, V2_SCRATCH2 = 88, V2_SCRATCH3 = 92,
	V2_PCIE_INT_CONTROL = 96, V2_PCIE_INT_STATUS = 100,
	V2_AXI_INT_CONTROL = 104, V2_AXI_INT_STATUS = 108,
	V2_PCIE_INT_ASSERT = 112, V2_AXI_INT_ASSERT = 116,
	V2_DMA_CONTROL = 120, V2_DMA_STATUS = 124,
};

enum {
	V1_SRC_Q_PTR = 0, V1_SRC_Q_SIZE = 8, V1_SRC_Q_LIMIT = 12,
	V1_DST_Q_PTR = 16, V1_DST_Q_SIZE = 24, V1_DST_Q_LIMIT = 28,
	V1_STA_Q_PTR = 32, V1_STA_Q_SIZE = 40, V1_STA_Q_LIMIT = 44,
	V1_SRC_Q_NEXT = 48, V1_DST_Q_NEXT = 52, V1_STA_Q_NEXT = 56,
	V1_DMA_CONTROL = 60, /* u16 */
	V1_PCIE_STATUS = 62, /* u8 */
	V1_AXI_STATUS = 63,  /* u8 */
};

#define QUEUE_LOCATION 0x1ull /* 0: the ring lies in host memory */
#define QUEUE_ENABLE 0x2ull

/* Second generation, PCIE_INT / AXI_INT control and status. */
#define V2_PCIE_INT_ENABLE 0x1u
#define V2_DMA_ERROR_ENABLE 0x2u
#define V2_DMA_SGL_ENABLE 0x4u
#define V2_PCIE_DMA_ERROR 0x2u
#define V2_PCIE_SGL_INT 0x4u
#define V2_PCIE_SW_INT_STATUS 0x8u
#define V2_ASSERT_INT 0x8u
/* Second generation, DMA_CONTROL and DMA_STATUS. */
#define V2_DMA_ENABLE 0x1u
#define V2_DMA_RESET 0x2u
#define V2_DMA_STAT_SIZE 0x4u /* 8-byte status elements */
#define V2_DMA_RUNNING 0x1u
#define V2_DMA_PRESENT 0x8000u
/* First generation, DMA_CONTROL and PCIE_STATUS. */
#define V1_DMA_ENABLE 0x1u
#define V1_DMA_RUNNING 0x2u
#define V1_DMA_RESET 0x4u
#define V1_DMA_PRESENT 0x8000u
#define V1_PCIE_INT_ENABLE 0x1u
#define V1_PCIE_INT_STATUS 0x2u
#define V1_PCIE_DMA_ERROR 0x4u

/* Source and destination descriptors (16 bytes each). */
typedef struct _SOURCE_SG_ELEMENT_STRUCT {
	uint64_t SRC_ADDRESS;      /* +0 */
	uint32_t BYTE_COUNT_FLAGS; /* +8 */
	uint16_t USER_HANDLE;      /* +12 */
	uint16_t USER_ID;          /* +14 */
} SOURCE_SG_ELEMENT_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(SOURCE_SG_ELEMENT_STRUCT) == 16);

typedef struct _DESTINATION_SG_ELEMENT_STRUCT {
	uint64_t DEST_ADDRESS;     /* +0 */
	uint32_t BYTE_COUNT_FLAGS; /* +8 */
	uint16_t USER_HANDLE;      /* +12 */
	uint16_t Reserved;         /* +14 */
} DESTINATION_SG_ELEMENT_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(DESTINATION_SG_ELEMENT_STRUCT) == 16);

#define SG_BYTE_COUNT_MASK 0x00FFFFFFu /* 0 stands for SG_MAX_ELEMENT_BYTES */
#define SG_MAX_ELEMENT_BYTES 0x1000000u
#define SG_LOCATION_CARD 0x01000000u /* the address is a card (AXI) address */
#define SG_EOP 0x02000000u           /* source: last element of a transfer */
#define SG_INTERRUPT 0x04000000u     /* source: interrupt when it completes */
#define SG_PACK_NEXT 0x02000000u     /* destination */

/* Status elements: 4 bytes, or 8 with the handles of the completed descriptor. */
#define STAT_COMPLETED 0x1u
#define STAT_SOURCE_ERROR 0x2u
#define STAT_DESTINATION_ERROR 0x4u
#define STAT_INTERNAL_ERROR 0x8u
#define STAT_ERROR_MASK 0xEu
#define STAT_COMP_BYTE_COUNT_SHIFT 4
#define STAT_COMP_BYTE_COUNT_MASK 0x7FFFFFF0u
#define STAT_UPPER_STAT_NZ 0x80000000u

typedef struct _STATUS_ELEMENT64_STRUCT {
	uint32_t STATUS;      /* +0 */
	uint16_t USER_HANDLE; /* +4 */
	uint16_t USER_ID;     /* +6 */
} STATUS_ELEMENT64_STRUCT;
VORTAQ_ABI_ASSERT(sizeof(STATUS_ELEMENT64_STRUCT) == 8);

#endif /* VORTAQ_ABI_H */
