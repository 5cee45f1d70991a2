/* The basic set-up of a port's bus controller, shared by the automatic configuration at open and the bus libraries'
 * own init functions: the firmware records of CAN and LIN initialisation, the LIN node, the FlexRay controller, the
 * MOST node and the LVDS frame grabbers, and the appliers that send them from the interface configuration file.
 * Every record is little endian with the offsets asserted below. Each function records its refusals on the port
 * and returns the code, or returns the command's result. */
#ifndef QOR_BUS_CONFIGURATION_H
#define QOR_BUS_CONFIGURATION_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- CAN ---- */
#define QOR_CAN_COMMAND_INIT_INTERFACE 0x12u
#define QOR_CAN_COMMAND_BAUD_RATE 0x1Eu
#define QOR_CAN_MODE_MAX 2u
/* Flags of Qor_InterfaceConfig_Can_InitInterface; bits 3 to 6 choose one CAN FD mode. */
enum {
  QOR_CAN_INIT_NO_ACKNOWLEDGE = 1u << 0,
  QOR_CAN_INIT_BLINKING = 1u << 1,
  QOR_CAN_INIT_FLAG_2 = 1u << 2, /* the automatic configuration always sets it */
  QOR_CAN_INIT_FD_MODE_1 = 1u << 3,
  QOR_CAN_INIT_FD_MODE_2 = 1u << 4,
  QOR_CAN_INIT_FD_MODE_3 = 1u << 5,
  QOR_CAN_INIT_FD_MODE_4 = 1u << 6,
  QOR_CAN_INIT_FLAGS_VALID = 0x7Fu
};

/* Command 0x12 (8 bytes), acknowledged without data. */
typedef struct Qor_Can_InitInterface_Param_t {
  uint8_t reserved0;     /* +0 0 */
  uint8_t mode;          /* +1 0 to 2 */
  uint8_t noAcknowledge; /* +2 flag bit 0 */
  uint8_t blinking;      /* +3 flag bit 1 */
  uint8_t flag2Clear;    /* +4 1 when flag bit 2 is clear */
  uint8_t fdMode;        /* +5 1 to 4 for flag bits 3 to 6, 0 for none */
  uint8_t reserved6[2];  /* +6 0 */
} Qor_Can_InitInterface_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_InitInterface_Param_t) == 8, "CAN init record is 8 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_InitInterface_Param_t, fdMode) == 5, "CAN FD mode at 5");

/* Command 0x1E, setting the baud rate (20 bytes); the answer begins with the sub-function and has at most 28 bytes. */
#define QOR_CAN_BAUD_RATE_SET 3u
#define QOR_CAN_BAUD_RATE_ANSWER_SIZE 28u
typedef struct Qor_Can_SetBaudRate_Param_t {
  uint8_t subFunction;  /* +0 3 */
  uint8_t reserved1[3]; /* +1 0 */
  uint32_t baudRate;    /* +4 */
  uint8_t options[12];  /* +8 0 */
} Qor_Can_SetBaudRate_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_Can_SetBaudRate_Param_t) == 20, "CAN baud rate record is 20 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Can_SetBaudRate_Param_t, baudRate) == 4, "baud rate at 4");

/* ---- LIN ---- */
#define QOR_LIN_COMMAND_INIT_INTERFACE 0x12u
#define QOR_LIN_COMMAND_NODE_CONFIG 0x14u
#define QOR_LIN_INIT_FLAGS_VALID 7u
#define QOR_LIN_INIT_BLINKING 4u
/* Command 0x12 (4 bytes): the three flag bits one per byte. */
typedef struct Qor_Lin_InitInterface_Param_t {
  uint8_t reserved0; /* +0 0 */
  uint8_t flag0;     /* +1 */
  uint8_t flag1;     /* +2 */
  uint8_t flag2;     /* +3 */
} Qor_Lin_InitInterface_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_InitInterface_Param_t) == 4, "LIN init record is 4 bytes");

enum {
  QOR_LIN_NODE_MASTER_TASK = 1u << 0,
  QOR_LIN_NODE_SLAVE_TASK = 1u << 1,
  QOR_LIN_NODE_BAUD_RATE_DETECTION = 1u << 2,
  QOR_LIN_NODE_FLAGS_VALID = 7u
};
/* The caller's node configuration (32 bytes); times in ns. */
typedef struct Qor_Lin_NodeConfig_t {
  uint32_t flags;            /* +0 */
  uint32_t masterBaudRate;   /* +4 */
  uint32_t masterTimesNs[3]; /* +8 break, break delimiter, a third time */
  uint32_t slaveBaudRate;    /* +20 */
  uint32_t slaveTimesNs[2];  /* +24 */
} Qor_Lin_NodeConfig_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_NodeConfig_t) == 32, "LIN node configuration is eight u32");

/* Command 0x14 (36 bytes), acknowledged without data; times in 25-ns ticks, fields of a disabled task 0. */
#define QOR_LIN_TICK_NS 25u
typedef struct Qor_Lin_NodeConfig_Param_t {
  uint8_t masterTask;          /* +0 */
  uint8_t slaveTask;           /* +1 */
  uint8_t reserved2[2];        /* +2 */
  uint32_t baudRate;           /* +4 the slave's when the slave task is enabled, else the master's */
  uint32_t masterTicks[3];     /* +8 */
  uint8_t baudRateDetection;   /* +20 */
  uint8_t reserved21[3];       /* +21 */
  uint32_t slaveBaudRate;      /* +24 */
  uint32_t slaveTicks[2];      /* +28 */
} Qor_Lin_NodeConfig_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lin_NodeConfig_Param_t) == 36, "LIN node record is 36 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_NodeConfig_Param_t, baudRateDetection) == 20, "detection at 20");
QOR_STATIC_ASSERT(offsetof(Qor_Lin_NodeConfig_Param_t, slaveTicks) == 28, "slave times at 28");

/* ---- FlexRay ---- */
#define QOR_FLEXRAY_COMMAND_CONTROLLER 0x20u
#define QOR_FLEXRAY_INIT_ANSWER_SIZE 272u
#define QOR_FLEXRAY_INIT_SINGLE_CHANNEL 1u
#define QOR_FLEXRAY_CONTROLLER_TYPE_MAX 1u
/* Command 0x20, sub-function 0 (12 bytes). */
typedef struct Qor_FlexRay_Init_Param_t {
  uint32_t subFunction;    /* +0 0 */
  uint32_t flags;          /* +4 bit 0 single channel */
  uint16_t controllerCode; /* +8 0x3535 for controller type 0, 0x8566 for type 1 */
  uint16_t one;            /* +10 1 */
} Qor_FlexRay_Init_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_FlexRay_Init_Param_t) == 12, "FlexRay init record is 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_FlexRay_Init_Param_t, controllerCode) == 8, "controller code at 8");

/* ---- MOST ---- */
#define QOR_MOST_COMMAND_NODE 0x20u
#define QOR_MOST_NODE_ANSWER_SIZE 16u
/* Command 0x20, sub-function 0 (12 bytes). */
typedef struct Qor_Most_NodeProperties_Param_t {
  uint32_t subFunction;           /* +0 0 */
  uint8_t clockMode;              /* +4 0 or 1 */
  uint8_t deviceMode;             /* +5 0 to 2 */
  uint8_t networkMasterMode;      /* +6 0 or 1 */
  uint8_t logicalNodeAddressMode; /* +7 0 or 1 */
  uint16_t word1;                 /* +8 the caller's two u16, passed through */
  uint16_t word2;                 /* +10 */
} Qor_Most_NodeProperties_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_Most_NodeProperties_Param_t) == 12, "MOST node record is 12 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Most_NodeProperties_Param_t, word1) == 8, "first word at 8");

/* ---- LVDS frame grabbers ---- */
#define QOR_LVDS_COMMAND_GRABBER 0x63u
#define QOR_LVDS_GRABBER2_ANSWER_SIZE 32756u
#define QOR_LVDS_AUTOMATIC_READ_OUT 16u
/* Command 0x63, sub-function 0 (9 bytes, packed): capture property 16 (automatic frame read-out) := mode. */
typedef struct __attribute__((packed)) Qor_Lvds_FrameGrabber2_Mode_Param_t {
  uint8_t subFunction; /* +0 0 */
  uint8_t channel;     /* +1 the port's LVDS channel */
  uint16_t reserved2;  /* +2 0 */
  uint16_t property;   /* +4 16 */
  uint16_t count;      /* +6 1 */
  uint8_t mode;        /* +8 */
} Qor_Lvds_FrameGrabber2_Mode_Param_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lvds_FrameGrabber2_Mode_Param_t) == 9, "grabber mode record is 9 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lvds_FrameGrabber2_Mode_Param_t, mode) == 8, "mode at 8");

/* The first-generation grabber, programmed through host-side FPGA registers (48 bytes). The colour map holds
 * eight groups of four bit numbers (0 to 31) of the incoming pixel word; 255 marks an unused entry. */
#define QOR_LVDS_COLOUR_UNUSED 255u
#define QOR_LVDS_COLOUR_BIT_MAX 31u
typedef struct Qor_Lvds_FrameGrabber_Init_Parameters_t {
  uint16_t width;               /* +0 */
  uint16_t height;              /* +2 */
  uint16_t syncWidthHorizontal; /* +4 */
  uint16_t syncWidthVertical;   /* +6 */
  uint8_t hSyncLevel;           /* +8 */
  uint8_t vSyncLevel;           /* +9 */
  uint8_t dataEnableLevel;      /* +10 */
  uint8_t reserved11;           /* +11 */
  uint8_t clockEdge;            /* +12 */
  uint8_t reserved13[3];        /* +13 */
  uint8_t colourMap[32];        /* +16 */
} Qor_Lvds_FrameGrabber_Init_Parameters_t;
QOR_STATIC_ASSERT(sizeof(Qor_Lvds_FrameGrabber_Init_Parameters_t) == 48, "grabber record is 48 bytes");
QOR_STATIC_ASSERT(offsetof(Qor_Lvds_FrameGrabber_Init_Parameters_t, clockEdge) == 12, "clock edge at 12");
QOR_STATIC_ASSERT(offsetof(Qor_Lvds_FrameGrabber_Init_Parameters_t, colourMap) == 16, "colour map at 16");

/* ---- functions ---- */
QOR_API uint32_t Qor_InterfaceConfig_Can_InitInterface(uint32_t port, uint8_t mode, uint32_t flags);
QOR_API uint32_t Qor_InterfaceConfig_Lin_InitInterface(uint32_t port, uint32_t flags);
QOR_API uint32_t Qor_InterfaceConfig_Lin_Node_Config2(uint32_t port, const Qor_Lin_NodeConfig_t* config);
QOR_API uint32_t Qor_InterfaceConfig_FlexRay_Init(uint32_t port, uint32_t flags, uint8_t controllerType,
                                                  uint8_t transceiverType);
QOR_API uint32_t Qor_InterfaceConfig_Most_Node_SetProperties(uint32_t port, uint8_t clockMode, uint8_t deviceMode,
                                                             uint8_t networkMasterMode,
                                                             uint8_t logicalNodeAddressMode, uint16_t word1,
                                                             uint16_t word2);
/* A mode other than 0 collects the frames that the grabber pushes into the port's frame buffer. */
QOR_API uint32_t Qor_InterfaceConfig_Lvds_FrameGrabber2_SetMode(uint32_t port, uint8_t mode);
QOR_API uint32_t Qor_InterfaceConfig_Lvds_FrameGrabber1_Init(uint32_t port,
                                                             const Qor_Lvds_FrameGrabber_Init_Parameters_t* grabber);
QOR_API uint32_t Qor_InterfaceConfig_Lvds_FrameGrabber1_Config_DeserializerVector(uint32_t port, uint8_t a, uint8_t b,
                                                                                  uint8_t c, uint8_t d);

/* The appliers: the settings of the "Interface" element whose "id" is identifier in the file at path, sent to the
 * port. A refused or unreadable value sends nothing; otherwise they stop at the first failing command. */
QOR_API uint32_t Qor_InterfaceConfig_Can_Apply(uint32_t port, const char* path, const char* identifier);
QOR_API uint32_t Qor_InterfaceConfig_Lin_Apply(uint32_t port, const char* path, const char* identifier);
QOR_API uint32_t Qor_InterfaceConfig_FlexRay_Apply(uint32_t port, const char* path, const char* identifier);
/* Only the first-generation grabber (host interface type 19) has an automatic configuration. */
QOR_API uint32_t Qor_InterfaceConfig_Lvds_Apply(uint32_t port, const char* path, const char* identifier);

QOR_END_DECLS

#endif
