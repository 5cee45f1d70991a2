/* libqor_api_flexray_fibex: the protocol parameters of one FlexRay controller read from a FIBEX file.
 *
 * The file:
 *   <FIBEX VERSION="3.1.0">                     versions 3.x and 4.x
 *     <CLUSTER NAME="...">                      one or more
 *       <gdBit>300</gdBit>                      the cluster's parameters
 *       <CONTROLLER NAME="...">                 one or more
 *         <pKeySlotId>12</pKeySlotId>           the controller's parameters
 *       </CONTROLLER>
 *     </CLUSTER>
 *   </FIBEX>
 * Parameter elements are named as the fields of Qor_FlexRay_ConfigData_t; each of the 53 stands once, as a child of
 * the cluster or of the controller, with a decimal value that fits its field. Element names may carry a namespace
 * prefix ("fx:CLUSTER"). */
#ifndef QOR_FLEXRAY_FIBEX_H
#define QOR_FLEXRAY_FIBEX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_FIBEX_API __attribute__((visibility("default")))

#define QOR_FIBEX_ERR_INVALID_PARAMETER 0x2070221u /* no record, path, text or text size */
#define QOR_FIBEX_ERR_FILE 0x2070222u              /* the file cannot be read */
#define QOR_FIBEX_ERR_ELEMENT 0x2070223u           /* no such cluster or controller, a parameter missing or twice */
#define QOR_FIBEX_ERR_PARSER 0x2070224u            /* not XML, or a value that is no number or does not fit */
#define QOR_FIBEX_ERR_VERSION 0x2070225u           /* another version, or none */

struct Qor_FlexRay_ConfigData_t;

/* Fills the whole record with the parameters of the controller named controllerName in the cluster named
 * clusterName (a null name: the first one) and returns 0. On failure returns one of the codes above, leaves data
 * untouched and puts a NUL-terminated text of at most *textSize bytes into text, and its length with the terminator
 * into *textSize. */
QOR_FIBEX_API uint32_t LoadFlexRayParameterFromFibex(struct Qor_FlexRay_ConfigData_t* data, const char* path,
                                                     const char* clusterName, const char* controllerName, char* text,
                                                     uint32_t* textSize);

#ifdef __cplusplus
}
#endif

#endif
