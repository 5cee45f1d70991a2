/* First steps with the library: open an interface by the name the interface configuration file gives it, see what
 * it is, send a few commands and close it again. Written only on the exported API. */
#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qor_api.h"

/* A command that the device answers with data, one it acknowledges and one it refuses. */
enum { COMMAND_WITH_RESPONSE = 0x42, COMMAND_ACKNOWLEDGED = 0x43, COMMAND_REFUSED = 0x44 };

static int fail(const char* what) {
  printf("%s failed: %s\n", what, Qor_GetLastErrorDescription());
  return 1;
}

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "demo";
  Qor_InterfaceInfo_t info;
  if (Qor_InterfaceConfig_GetInterfaceInfoByName(name, &info) != 0) return fail("looking up the interface");
  char address[INET_ADDRSTRLEN] = "";
  if (info.flags & QOR_INTERFACE_FLAG_BINARY_IPV4) {
    struct in_addr binary;
    memcpy(&binary, info.ipAddress, sizeof binary);
    inet_ntop(AF_INET, &binary, address, sizeof address);
  } else {
    snprintf(address, sizeof address, "%.15s", info.ipAddress);
  }
  printf("The configuration names interface '%s': controller %u, interface %u of the device at %s, TCP port %u\n",
         name, info.controllerNumber, info.interfaceNumber, address, info.deviceNumber & 0xFFFF);

  uint32_t port = QOR_NO_PORT;
  if (Qor_OpenInterface(&info, &port) != 0) return fail("opening it");
  const uint32_t model = Qor_GetHostInterfaceType(port);
  uint32_t serial = 0;
  Qor_GetPropertyById(port, 2, &serial);
  printf("Opened port %u: model %s (host interface type %u), serial number %u, interface type %u%s\n", port,
         Qor_GetHostInterfaceTypeDescription(model), model, serial, Qor_GetInterfaceType(port),
         Qor_GetInterfaceType(port) == QOR_INTERFACE_CAN ? " (CAN), configured from the file at open" : "");

  const uint8_t parameters[] = {1, 2, 3};
  uint8_t response[64];
  uint32_t size = sizeof response;
  if (Qor_CommandWithResponse(port, COMMAND_WITH_RESPONSE, parameters, sizeof parameters, response, &size) != 0) {
    return fail("command 0x42");
  }
  printf("Command 0x42 was answered with %u bytes:", size);
  for (uint32_t i = 0; i < size; ++i) printf(" %02x", response[i]);
  printf("\n");

  if (Qor_Command(port, COMMAND_ACKNOWLEDGED, NULL, 0) != 0) return fail("command 0x43");
  printf("Command 0x43 was acknowledged\n");

  const uint32_t refused = Qor_Command(port, COMMAND_REFUSED, NULL, 0);
  printf("Command 0x44 was refused with code 0x%X: %s\n", refused, Qor_GetLastErrorDescription());

  if (Qor_CloseInterface(port) != 0) return fail("closing the port");
  printf("Port %u closed\n", port);
  return refused != 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
