/* Filling the protocol parameters from a file: a FlexRay parameter file, or a FIBEX file read by
 * libqor_api_flexray_fibex.
 *
 * A parameter file names each parameter on a line of its own, its decimal value on the next line; anything else
 * around the pairs is skipped:
 *     <Name>gdBit</Name>
 *     <Val>300</Val>
 * Names are those of Qor_FlexRay_ConfigData_t, compared exactly. A value is cut to its field's width; a value line
 * without a value element stores 0; a name given twice takes the later value. Parameters the file does not name keep
 * the values the record held. */
#ifndef QOR_FLEXRAY_CONFIG_FILES_H
#define QOR_FLEXRAY_CONFIG_FILES_H

#include "qor_flexray_config.h"

QOR_BEGIN_DECLS

/* LoadFlexRayParameter's results. */
#define QOR_FLEXRAY_XML_LOADED 0u
#define QOR_FLEXRAY_XML_REFUSED 1u     /* a path longer than QOR_FLEXRAY_XML_MAX_PATH, or no record */
#define QOR_FLEXRAY_XML_NOT_OPENED 2u    /* the file cannot be opened for reading, or no path */
#define QOR_FLEXRAY_XML_NO_PATTERN 3u    /* the line patterns cannot be compiled */
#define QOR_FLEXRAY_XML_READ_ERROR 6u    /* reading failed before the end of the file */
#define QOR_FLEXRAY_XML_MAX_PATH 254u

/* Reads the parameter file at path into data; several imports may run at once. Records no error. */
QOR_API uint32_t LoadFlexRayParameter(Qor_FlexRay_ConfigData_t* data, const char* path);

/* LoadFlexRayParameter into data; its result r becomes 0x2070200 + r for r of 2 to 6, 0x2070201 otherwise. */
QOR_API uint32_t Qor_FlexRay_GetConfigData_FromXmlFile(uint32_t port, const char* path, Qor_FlexRay_ConfigData_t* data);
/* The parameters of the file, the others 0, sent as Qor_FlexRay_Config sends them. */
QOR_API uint32_t Qor_FlexRay_ConfigWithXmlFile(uint32_t port, const char* path);

/* The parameters of one controller of a FIBEX file (qor_flexray_fibex.h: the file, and which cluster and controller
 * a null name selects); the reader's code and text on failure, data untouched then. */
QOR_API uint32_t Qor_FlexRay_GetConfigData_FromFibex(uint32_t port, const char* fibexPath, const char* clusterName,
                                                     const char* controllerName, Qor_FlexRay_ConfigData_t* data);
/* Those parameters sent as Qor_FlexRay_Config sends them. */
QOR_API uint32_t Qor_FlexRay_ConfigFromFibex(uint32_t port, const char* fibexPath, const char* clusterName,
                                             const char* controllerName);

QOR_END_DECLS

#endif
