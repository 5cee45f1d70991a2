/* Module entry: the module's identity and its parameters. */
#include <linux/module.h>

#include "vortaq.h"

static int Verbose;
module_param(Verbose, int, 0444);
MODULE_PARM_DESC(Verbose, "Verbose parameter reporting");

/* Read at probe time; read-only so that every channel of a card keeps the ring sizes it was given. */
static int DstSGLsPerChannel = VORTAQ_DEFAULT_ELEMENTS;
module_param(DstSGLsPerChannel, int, 0444);
MODULE_PARM_DESC(DstSGLsPerChannel, "Number of Destination SG Elements per Channel");

static int SrcSGLsPerChannel = VORTAQ_DEFAULT_ELEMENTS;
module_param(SrcSGLsPerChannel, int, 0444);
MODULE_PARM_DESC(SrcSGLsPerChannel, "Number of Source SG Elements per Channel");

static int UseMSIMulti = 1;
module_param(UseMSIMulti, int, 0444);
MODULE_PARM_DESC(UseMSIMulti, "Use MSI Multi-Vector [TRUE|FALSE]");

static int UseMSIX = 1;
module_param(UseMSIX, int, 0444);
MODULE_PARM_DESC(UseMSIX, "Use MSIX [TRUE|FALSE]");

static int UseMSI = 1;
module_param(UseMSI, int, 0444);
MODULE_PARM_DESC(UseMSI, "Use MSI [TRUE|FALSE]");

MODULE_VERSION("2019.1.9.0001");
MODULE_LICENSE("Proprietary");
MODULE_DESCRIPTION("PCIe DMA engine of the 95xx cards");
MODULE_AUTHOR("Qor-API for Linux");
