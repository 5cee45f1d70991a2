/* libQorPxi95xx_API over one emulated 95xx card (a PXIe 9530 with serial number QOR_STAND_IN_95XX_SERIAL), for a
 * test process in which the daemon and the core library both load the card library by name: the test links this
 * copy, so that both find it. The card answers firmware command 0x0E by repeating its six control bytes. Test
 * tooling only, never shipped. */
#ifndef QOR_EMULATOR_CARD95XX_STAND_IN_H
#define QOR_EMULATOR_CARD95XX_STAND_IN_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_STAND_IN_API __attribute__((visibility("default")))
#define QOR_STAND_IN_95XX_SERIAL 95300007u
#define QOR_STAND_IN_95XX_HOST_TYPE 82u

/* Makes the card and lets the library connect it: false when either failed. Start before the daemon opens the card
 * and stop after it closed it; the other calls work between the two. */
QOR_STAND_IN_API bool QorStandIn95xx_Start(void);
QOR_STAND_IN_API void QorStandIn95xx_Stop(void);
/* The parameters of the index-th command 0x0E the card received: their length, 0 when there was none. At most room
 * bytes are copied. */
QOR_STAND_IN_API uint32_t QorStandIn95xx_DmaCommand(uint32_t index, uint8_t* parameters, uint32_t room);
/* Commands 0x0E received so far. */
QOR_STAND_IN_API uint32_t QorStandIn95xx_DmaCommandCount(void);
/* Every later command 0x0E with this selector and sub-function gets a negative acknowledge with code, until
 * code 0 is given for it. */
QOR_STAND_IN_API void QorStandIn95xx_FailDmaCommand(uint32_t selector, uint8_t subFunction, uint32_t code);
/* The driver's next control request with this number fails with error (an errno value). */
QOR_STAND_IN_API void QorStandIn95xx_FailNextDriverRequest(unsigned long request, int error);
/* The card writes data into the channel's buffers from its write position up to the write limit: the bytes written. */
QOR_STAND_IN_API uint32_t QorStandIn95xx_WriteDma(uint32_t channel, const uint8_t* data, uint32_t length);
/* Whether the driver holds the channel's buffers pinned. */
QOR_STAND_IN_API bool QorStandIn95xx_Pinned(uint32_t channel);

#ifdef __cplusplus
}
#endif

#endif
