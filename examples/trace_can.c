/* Recording a CAN bus: open two CAN interfaces of one bus by the names the interface configuration file gives them,
 * set up both nodes, let them send cyclic messages, record what each node hears with a trace monitor and write the
 * trace as an ASC file. Written only on the exported API. */
#define _POSIX_C_SOURCE 200809L /* nanosleep */

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "qor_api.h"
#include "qor_can.h"
#include "qor_trace.h"

enum { NODES = 2, BAUD_RATE = 500000, SAMPLE_POINT_PERCENT = 80, RECORDING_MS = 500, LAST_POLLS_MS = 100 };

struct CyclicMessage {
  unsigned node; /* index into the nodes */
  uint32_t identifier;
  uint16_t cycleMs;
  uint8_t dlc;
  uint8_t data[8];
};

static const struct CyclicMessage kMessages[] = {
    {0, 0x100, 10, 8, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}},
    {0, 0x180, 50, 2, {0xA5, 0x5A}},
    {1, 0x200, 20, 4, {0xCA, 0xFE, 0xBA, 0xBE}},
};
enum { MESSAGES = sizeof kMessages / sizeof kMessages[0] };

static int fail(const char* what) {
  printf("%s failed: %s\n", what, Qor_GetLastErrorDescription());
  return 1;
}

static void sleepMs(long ms) {
  const struct timespec interval = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&interval, NULL);
}

/* Opens the named interface and sets its node to the bus's bit rate, with the bus terminated at this node. */
static int openNode(const char* name, uint32_t* port) {
  Qor_InterfaceInfo_t info;
  if (Qor_InterfaceConfig_GetInterfaceInfoByName(name, &info) != 0) return fail("looking up the interface");
  if (Qor_OpenInterface(&info, port) != 0) return fail("opening it");
  if (Qor_GetInterfaceType(*port) != QOR_INTERFACE_CAN) {
    printf("Interface '%s' is no CAN interface\n", name);
    return 1;
  }
  uint32_t bitTiming = 0;
  if (Qor_Can_Node_CalculateBaudrateRegisterValue(*port, &bitTiming, 0, 0, 0, 0, BAUD_RATE, SAMPLE_POINT_PERCENT) != 0) {
    return fail("calculating the bit timing");
  }
  if (Qor_Can_Node_SetBaudrateRegisterAndTransceiverType(*port, bitTiming, 0) != 0) return fail("setting the bit rate");
  if (Qor_Can_Node_BusTermination_Enable(*port) != 0) return fail("terminating the bus");
  printf("Interface '%s' opened as port %u: %u bit/s (bit-timing register 0x%04X), bus terminated\n", name, *port,
         BAUD_RATE, bitTiming);
  return 0;
}

int main(int argc, char** argv) {
  const char* names[NODES] = {argc > 1 ? argv[1] : "demo", argc > 2 ? argv[2] : "demo-2"};
  const char* ascFile = argc > 3 ? argv[3] : "/tmp/trace_can.asc";

  uint32_t ports[NODES];
  for (unsigned node = 0; node < NODES; ++node) {
    if (openNode(names[node], &ports[node]) != 0) return EXIT_FAILURE;
  }

  /* One channel per node: each hears what the other node sends. */
  uint32_t trace = 0;
  if (Qor_Trace_Allocate(0, &trace) != 0) return fail("allocating a trace monitor");
  for (unsigned node = 0; node < NODES; ++node) {
    const Qor_Trace_ChannelInfo_t channel = {0, ports[node], 0};
    Qor_Trace_ChannelResult_t result;
    if (Qor_Trace_AddChannel(trace, &channel, &result) != 0) return fail("adding a trace channel");
    printf("Trace channel %u records what port %u hears\n", result.channelId, ports[node]);
  }
  if (Qor_Trace_Start(trace, 0) != 0) return fail("starting the trace");

  for (unsigned index = 0; index < MESSAGES; ++index) {
    const struct CyclicMessage* message = &kMessages[index];
    if (Qor_Can_CyclicMsgs_DefineMsg(ports[message->node], message->identifier, message->cycleMs, 1, 0, 0,
                                     message->data, message->dlc) != 0) {
      return fail("defining a cyclic message");
    }
    printf("Port %u sends message 0x%03X every %u ms\n", ports[message->node], message->identifier, message->cycleMs);
  }
  sleepMs(RECORDING_MS);
  for (unsigned index = 0; index < MESSAGES; ++index) {
    if (Qor_Can_CyclicMsgs_DeleteMsg(ports[kMessages[index].node], kMessages[index].identifier) != 0) {
      return fail("deleting a cyclic message");
    }
  }
  sleepMs(LAST_POLLS_MS); /* the channels read what the nodes heard last */
  if (Qor_Trace_Stop(trace) != 0) return fail("stopping the trace");

  uint32_t entries = 0;
  uint32_t length = sizeof entries;
  if (Qor_Trace_Property_GetById(trace, 0, QOR_TRACE_PROPERTY_ENTRY_COUNT, &length, (uint8_t*)&entries) != 0) {
    return fail("counting the trace's messages");
  }
  Qor_Trace_ExportInfo_t export = {0};
  snprintf(export.fileName, sizeof export.fileName, "%s", ascFile);
  if (Qor_Trace_ExportToASC(trace, &export) != 0) return fail("writing the ASC file");
  printf("Recorded %u messages in %u ms, written to %s\n", entries, RECORDING_MS, ascFile);

  if (Qor_Trace_Delete(trace) != 0) return fail("deleting the trace monitor");
  for (unsigned node = 0; node < NODES; ++node) {
    if (Qor_CloseInterface(ports[node]) != 0) return fail("closing a port");
  }
  return EXIT_SUCCESS;
}
