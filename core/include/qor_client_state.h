/* The data that libqor_api exports: the process record, the port table and the process configuration. */
#ifndef QOR_CLIENT_STATE_H
#define QOR_CLIENT_STATE_H

#include "qor_helpers.h"

QOR_BEGIN_DECLS

#define QOR_ERROR_TEXT_SIZE 4096u

/* The process-wide record. */
typedef struct Qor_ClientInfo_t {
  uint32_t openPorts;
  uint32_t lastErrorCode;
  char lastErrorText[QOR_ERROR_TEXT_SIZE];
  Qor_CriticalSection_t lock; /* guards the port table, open and close */
  int32_t serverQueue;        /* "/Qor_API", write-only; negative when it could not be opened */
} Qor_ClientInfo_t;

struct Qor_PortContext;

/* One entry of the port table: flag bytes, then the port's state while the entry is in use.
 * The bytes are written by the library's threads and read without the table lock: access them atomically. */
typedef struct Qor_PortInfo_t {
  uint8_t inUse;                     /* 0 */
  uint8_t connected;                 /* 1 */
  uint8_t responseThreadRunning;     /* 2 */
  uint8_t callbackThreadRunning;     /* 3 */
  uint8_t controllerLock;            /* 4 */
  uint8_t interfaceLock;             /* 5 */
  uint8_t monitorLock;               /* 6 */
  uint8_t property0;                 /* 7 monitors run in the daemon */
  uint8_t stopResponseThread;        /* 8 */
  uint8_t stopCallbackThread;        /* 9 */
  uint8_t asyncEnabled;              /* 10 */
  uint8_t commandsWaitForAcknowledge; /* 11 commands without response wait for the acknowledge */
  uint8_t firmwareBufferEnabled;     /* 12 */
  uint8_t monitorEventEnabled;       /* 13 */
  uint8_t restBusUpdateRouting;      /* 14 */
  uint8_t parameters64Bit;           /* 15 */
  struct Qor_PortContext* context;   /* none while the entry is free */
} Qor_PortInfo_t;
QOR_STATIC_ASSERT(offsetof(Qor_PortInfo_t, context) == 16, "port state pointer after the 16 flag bytes");

#define QOR_PORT_TABLE_SIZE 256u

/* The process configuration read from "/etc/Qor_API_Linux.ini"; absent texts are NULL. */
typedef struct Qor_LinuxCfg_t {
  int32_t version;
  char* name;
  char* installDir;
  char* cyclorDir;
  char* deviceCfg;
  char* settings;
} Qor_LinuxCfg_t;

#define QOR_MODULE_PATH_SIZE 4096u

QOR_API extern Qor_ClientInfo_t ClientInfo;
QOR_API extern Qor_PortInfo_t PortInfo[QOR_PORT_TABLE_SIZE];
QOR_API extern Qor_LinuxCfg_t LinuxCfg;
QOR_API extern char modul_path[QOR_MODULE_PATH_SIZE];
QOR_API extern char path_to_lib[255];

QOR_END_DECLS

#endif
