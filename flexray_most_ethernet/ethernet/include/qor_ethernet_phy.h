/* The Ethernet controller's PHY: link state and quality, transceiver, master/slave mode, TX amplitude, data rate,
 * temperature, legacy mode and hardware revision. The values' meanings belong to the firmware. */
#ifndef QOR_ETHERNET_PHY_H
#define QOR_ETHERNET_PHY_H

#include "qor_types.h"

QOR_BEGIN_DECLS

/* Link state: 1 and 2 for the firmware's two states, 0 for any other. */
#define QOR_ETHERNET_PHY_LINK_STATE_UNKNOWN 0u
/* Transceiver type 1 to 4; 0 for any other. */
#define QOR_ETHERNET_PHY_TRANSCEIVER_UNKNOWN 0u
/* Master/slave mode 0 to 2; 3 for any other the firmware gives. */
#define QOR_ETHERNET_PHY_MAX_OPERATION_MODE 2u
#define QOR_ETHERNET_PHY_OPERATION_MODE_UNKNOWN 3u
/* Legacy mode 0 or 1; 2 for any other the firmware gives. */
#define QOR_ETHERNET_PHY_MAX_LEGACY_MODE 1u
#define QOR_ETHERNET_PHY_LEGACY_MODE_UNKNOWN 2u

QOR_API uint32_t Qor_Ethernet_Phy_LinkState_Get(uint32_t port, uint8_t* linkState);
QOR_API uint32_t Qor_Ethernet_Phy_TransceiverType_Get(uint32_t port, uint8_t* transceiverType);
QOR_API uint32_t Qor_Ethernet_Phy_LinkQuality_Get(uint32_t port, uint32_t* linkQuality);
QOR_API uint32_t Qor_Ethernet_Phy_Master_Slave_Mode_Get(uint32_t port, uint8_t* mode);
QOR_API uint32_t Qor_Ethernet_Phy_Master_Slave_Mode_Set(uint32_t port, uint8_t mode);
QOR_API uint32_t Qor_Ethernet_Phy_TxAmplitude_Get(uint32_t port, uint32_t* amplitude);
QOR_API uint32_t Qor_Ethernet_Phy_TxAmplitude_Set(uint32_t port, uint32_t amplitude);
QOR_API uint32_t Qor_Ethernet_Phy_DataRate_Get(uint32_t port, uint32_t* dataRate);
QOR_API uint32_t Qor_Ethernet_Phy_DataRate_Set(uint32_t port, uint32_t dataRate);
QOR_API uint32_t Qor_Ethernet_Phy_Temperature_Get(uint32_t port, uint32_t* temperature);
QOR_API uint32_t Qor_Ethernet_Phy_LegacyMode_Get(uint32_t port, uint32_t* legacyMode);
QOR_API uint32_t Qor_Ethernet_Phy_LegacyMode_Set(uint32_t port, uint32_t legacyMode);
QOR_API uint32_t Qor_Ethernet_Phy_HwRevision_Get(uint32_t port, uint32_t* hwRevision);

QOR_END_DECLS

#endif
