/* Host-side FPGA access: the registers, FIFO, design version, reconfiguration and relays of the models whose
 * controllers are an FPGA that the daemon drives (interface host 1). Each call is one exchange of message 0x40 with
 * the daemon, under the port's command lock. */
#ifndef QOR_FPGA_H
#define QOR_FPGA_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Every call: 0 or an error code. A port whose interface host is not the FPGA gets 0x200000B and nothing is sent;
 * the daemon's code (for example 0x100000C where the model has no such operation) is returned unchanged. */
QOR_API uint32_t Qor_Fpga_ReadRegister(uint32_t port, uint8_t registerNumber, uint32_t* value);
QOR_API uint32_t Qor_Fpga_WriteRegister(uint32_t port, uint8_t registerNumber, uint32_t value);
/* *size: capacity in, data length out; data that do not fit fail with 0x2000201 and leave *size unchanged. */
QOR_API uint32_t Qor_Fpga_ReadFifo(uint32_t port, void* buffer, uint32_t* size);
QOR_API uint32_t Qor_Fpga_WriteFifo(uint32_t port, const void* data, uint32_t length);
QOR_API uint32_t Qor_Fpga_ReadVhdlDesignVersion(uint32_t port, uint32_t* version);
/* Loads the FPGA from the file at path (as the daemon sees it); waits up to 30 minutes. */
QOR_API uint32_t Qor_Fpga_Reconfiguration(uint32_t port, const char* path);
QOR_API uint32_t Qor_Fpga_Relays_Set(uint32_t port, uint32_t value, uint16_t length, const uint8_t* relays);
QOR_API uint32_t Qor_Fpga_Relays_Reset(uint32_t port, uint32_t value, uint16_t length, const uint8_t* relays);
QOR_API uint32_t Qor_Fpga_Relays_SetDirect(uint32_t port, uint16_t length, const uint8_t* relays);
/* state receives length bytes; a reply with fewer fails with 0x2000202 and leaves state unchanged. */
QOR_API uint32_t Qor_Fpga_Relays_GetState(uint32_t port, uint16_t length, const uint8_t* request, uint8_t* state);

QOR_END_DECLS

#endif
