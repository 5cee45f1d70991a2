/* The controller's event/action engine: the firmware holds event objects and action objects, actions are assigned to
 * events, and an event that occurs (or is simulated) runs its actions. The host allocates the objects, describes
 * them, assigns, executes, cancels and deletes them; it keeps no state of its own, the handles are the firmware's.
 * Every function is one synchronous exchange of firmware command 0x78. Descriptions are checked whole before
 * anything is sent: reserved fields and flags a type does not use must be zero. */
#ifndef QOR_COMMON_EVENT_ACTION_H
#define QOR_COMMON_EVENT_ACTION_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* ---- events ----
 * A description is the common head (handle, type, flags) and the fields of its type, which lie from +12 on in the
 * member of the union that the type names. Counts say how many entries of an array are used. */

/* Types 0x200, 0x201, 0x202. */
typedef struct Qor_Common_EA_EntryListEvent_t {
  uint32_t firstWord;      /* +12 */
  uint32_t secondWord;     /* +16 */
  uint8_t count;           /* +20 entries used */
  uint8_t reserved21[3];   /* +21 0 */
  uint8_t entries[255][2]; /* +24 */
} Qor_Common_EA_EntryListEvent_t;

/* Types 0x203, 0x204. */
typedef struct Qor_Common_EA_ConditionEvent_t {
  uint32_t firstWord;     /* +12 */
  uint32_t secondWord;    /* +16 */
  uint8_t conditionType;  /* +20 0, 1 or 2 */
  uint8_t reserved21[3];  /* +21 0 */
  uint32_t thirdWord;     /* +24 */
  uint32_t fourthWord;    /* +28 */
} Qor_Common_EA_ConditionEvent_t;

/* Types 0x300, 0x301. */
typedef struct Qor_Common_EA_BusEvent_t {
  uint8_t busType;    /* +12 0 or 1 */
  uint8_t firstByte;  /* +13 */
  uint8_t secondByte; /* +14 */
  uint8_t reserved15; /* +15 0 */
} Qor_Common_EA_BusEvent_t;

/* Types 0x400, 0x800. */
typedef struct Qor_Common_EA_ByteValueEvent_t {
  uint8_t value;         /* +12 */
  uint8_t reserved13[3]; /* +13 0 */
} Qor_Common_EA_ByteValueEvent_t;

/* Type 0x500; flags bits 0 and 1 are its own. */
typedef struct Qor_Common_EA_ChannelEvent_t {
  uint8_t channel;       /* +12 from 1 */
  uint8_t reserved13[3]; /* +13 0 */
} Qor_Common_EA_ChannelEvent_t;

/* Type 0x700. */
typedef struct Qor_Common_EA_HalfWordEvent_t {
  uint16_t value;      /* +12 */
  uint16_t reserved14; /* +14 0 */
} Qor_Common_EA_HalfWordEvent_t;

/* Types 0x702, 0x703. */
typedef struct Qor_Common_EA_FrameEvent_t {
  uint8_t count;              /* +12 identifiers used */
  uint8_t reserved13;         /* +13 0 */
  uint8_t dataLength;         /* +14 data and mask bytes used */
  uint8_t thirdByte;          /* +15 */
  uint16_t word;              /* +16 */
  uint16_t reserved18;        /* +18 0 */
  uint32_t identifiers[255];  /* +20 */
  uint8_t data[255];          /* +1040 */
  uint8_t mask[255];          /* +1295 */
} Qor_Common_EA_FrameEvent_t;

/* Type 0x902. */
typedef struct Qor_Common_EA_WordValueEvent_t {
  uint32_t value; /* +12 */
} Qor_Common_EA_WordValueEvent_t;

typedef struct Qor_Common_EA_EventConfig_t {
  uint32_t handle;    /* +0 the firmware's, from an allocation */
  uint16_t eventType; /* +4 */
  uint16_t reserved6; /* +6 0 */
  uint32_t flags;     /* +8 0 unless the type uses them; type 0x100 has no fields of its own and carries its value
                         in the low byte of this word, the other three bytes reserved (0) */
  union {             /* +12 by type; types 0x100, 0x600, 0x704, 0x705, 0x900 and 0x901 use none */
    Qor_Common_EA_EntryListEvent_t entryList; /* 0x200, 0x201, 0x202 */
    Qor_Common_EA_ConditionEvent_t condition; /* 0x203, 0x204 */
    Qor_Common_EA_BusEvent_t bus;             /* 0x300, 0x301 */
    Qor_Common_EA_ByteValueEvent_t byteValue; /* 0x400, 0x800 */
    Qor_Common_EA_ChannelEvent_t channel;     /* 0x500 */
    Qor_Common_EA_HalfWordEvent_t halfWord;   /* 0x700 */
    Qor_Common_EA_FrameEvent_t frame;         /* 0x702, 0x703 */
    Qor_Common_EA_WordValueEvent_t wordValue; /* 0x902 */
  };
} Qor_Common_EA_EventConfig_t;
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_EventConfig_t, flags) == 8, "event flags at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_EventConfig_t, entryList) == 12, "type-specific fields at 12");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_EntryListEvent_t) == 524, "entry list fields end at 534, 2 of padding");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_EntryListEvent_t, entries) == 12, "entries at 24");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_ConditionEvent_t) == 20, "condition fields end at 32");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_ConditionEvent_t, thirdWord) == 12, "third word at 24");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_BusEvent_t) == 4, "bus fields end at 16");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_ByteValueEvent_t) == 4, "byte value fields end at 16");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_ChannelEvent_t) == 4, "channel fields end at 16");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_HalfWordEvent_t) == 4, "half-word fields end at 16");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_FrameEvent_t, identifiers) == 8, "identifiers at 20");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_FrameEvent_t, data) == 1028, "data at 1040");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_FrameEvent_t, mask) == 1283, "mask at 1295");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_EventConfig_t) == 1552, "event description is 1550 bytes and 2 of padding");

/* ---- actions ---- */

/* Type 0x100. */
typedef struct Qor_Common_EA_ValueAction_t {
  uint32_t value; /* +8 */
} Qor_Common_EA_ValueAction_t;

/* Type 0x200. */
typedef struct Qor_Common_EA_ChannelAction_t {
  uint8_t channel;     /* +8 from 1 */
  uint8_t mode;        /* +9 0 to 2 */
  uint16_t reserved10; /* +10 0 */
  uint32_t value;      /* +12 */
} Qor_Common_EA_ChannelAction_t;

typedef struct Qor_Common_EA_ActionConfig_t {
  uint32_t handle;     /* +0 the firmware's, from an allocation */
  uint16_t actionType; /* +4 */
  uint16_t reserved6;  /* +6 0 */
  union {              /* +8 by type */
    Qor_Common_EA_ValueAction_t value;     /* 0x100 */
    Qor_Common_EA_ChannelAction_t channel; /* 0x200 */
  };
} Qor_Common_EA_ActionConfig_t;
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_ActionConfig_t, value) == 8, "type-specific fields at 8");
QOR_STATIC_ASSERT(offsetof(Qor_Common_EA_ChannelAction_t, value) == 4, "channel action value at 12");
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_ActionConfig_t) == 16, "action description is 16 bytes");

/* ---- properties and simulation ---- */

/* Event property ids are 0 to 5, the action property id is 0. */
typedef struct Qor_Common_EA_Property_t {
  uint32_t handle;     /* +0 */
  uint16_t propertyId; /* +4 */
  uint16_t reserved6;  /* +6 0 */
  uint32_t value;      /* +8 */
} Qor_Common_EA_Property_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_Property_t) == 12, "property is 12 bytes");

typedef struct Qor_Common_EA_SimulatedEvent_t {
  uint32_t flags;  /* +0 0 */
  uint32_t handle; /* +4 */
} Qor_Common_EA_SimulatedEvent_t;
QOR_STATIC_ASSERT(sizeof(Qor_Common_EA_SimulatedEvent_t) == 8, "simulated event is 8 bytes");

/* Every function returns 0, a code of this library (0x0201....), or the core's and the firmware's code unchanged. */

/* Deletes every event and action of the controller. */
QOR_API uint32_t Qor_Common_EA_ResetAll(uint32_t port);
/* A new object; *handle is written on success only. */
QOR_API uint32_t Qor_Common_EA_AllocateEvent(uint32_t port, uint32_t* handle);
QOR_API uint32_t Qor_Common_EA_AllocateAction(uint32_t port, uint32_t* handle);
/* A new object under a handle the caller chooses. */
QOR_API uint32_t Qor_Common_EA_AllocateEventByHandle(uint32_t port, uint32_t handle);
QOR_API uint32_t Qor_Common_EA_AllocateActionByHandle(uint32_t port, uint32_t handle);
/* Describes an allocated object. An event of type 0x702 or 0x703 with 255 identifiers and 255 data bytes takes a
 * request of 1550 bytes, more than some models carry (the core refuses it then). */
QOR_API uint32_t Qor_Common_EA_InitEvent(uint32_t port, const Qor_Common_EA_EventConfig_t* event);
QOR_API uint32_t Qor_Common_EA_InitAction(uint32_t port, const Qor_Common_EA_ActionConfig_t* action);
QOR_API uint32_t Qor_Common_EA_AssignActionToEvent(uint32_t port, uint32_t actionHandle, uint32_t eventHandle);
/* mode 0 or 1. */
QOR_API uint32_t Qor_Common_EA_DeleteEvent(uint32_t port, uint32_t mode, uint32_t handle);
QOR_API uint32_t Qor_Common_EA_DeleteAction(uint32_t port, uint32_t mode, uint32_t handle);
QOR_API uint32_t Qor_Common_EA_ExecuteAction(uint32_t port, uint32_t handle);
QOR_API uint32_t Qor_Common_EA_CancelAction(uint32_t port, uint32_t handle);
/* Get: the handle and property id come from request, the answer fills *result (reserved6 0); *result is untouched
 * on failure, also when the firmware answers with a property id out of range. */
QOR_API uint32_t Qor_Common_EA_SetEventProperty(uint32_t port, const Qor_Common_EA_Property_t* property);
QOR_API uint32_t Qor_Common_EA_GetEventProperty(uint32_t port, const Qor_Common_EA_Property_t* request,
                                                Qor_Common_EA_Property_t* result);
QOR_API uint32_t Qor_Common_EA_SetActionProperty(uint32_t port, const Qor_Common_EA_Property_t* property);
QOR_API uint32_t Qor_Common_EA_GetActionProperty(uint32_t port, const Qor_Common_EA_Property_t* request,
                                                 Qor_Common_EA_Property_t* result);
/* Makes the event occur as if its condition had been met. */
QOR_API uint32_t Qor_Common_EA_SimulateEvent(uint32_t port, const Qor_Common_EA_SimulatedEvent_t* event);

QOR_END_DECLS

#endif
