/* Module entry and exit, the module's parameters, and the PCI probe and removal of each card. */
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/pci.h>

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

/* The device and channel files reach all of host memory through the card: root and this group only. */
static unsigned int ProcGroup;
module_param(ProcGroup, uint, 0444);
MODULE_PARM_DESC(ProcGroup, "Group id that may use the device and channel files besides root (0: root only)");

MODULE_VERSION("2019.1.9.0001");
MODULE_LICENSE("Proprietary");
MODULE_DESCRIPTION("PCIe DMA engine of the 95xx cards");
MODULE_AUTHOR("Qor-API for Linux");

/* Two card models with the second engine generation, two reference designs with the first. */
static const struct pci_device_id Vortaqpci_tbl[] = {
	{ PCI_DEVICE(VORTAQ_CARD_VENDOR_ID, VORTAQ_CARD_DEVICE_ID_A) },
	{ PCI_DEVICE(VORTAQ_CARD_VENDOR_ID, VORTAQ_CARD_DEVICE_ID_B) },
	{ PCI_DEVICE(VORTAQ_ENGINE_VENDOR_ID, VORTAQ_REFERENCE_DEVICE_ID_A) },
	{ PCI_DEVICE(VORTAQ_ENGINE_VENDOR_ID, VORTAQ_REFERENCE_DEVICE_ID_B) },
	{ 0 },
};
MODULE_DEVICE_TABLE(pci, Vortaqpci_tbl);

/* The adapters in the order of their probes; the lock also keeps a probe's board number unique. */
static LIST_HEAD(adapter_list);
static DEFINE_MUTEX(adapter_list_lock);

/* Only memory BARs are mapped; an I/O port BAR keeps its range but no mapping. */
static int MapBars(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;
	int i;

	for (i = 0; i < VORTAQ_BAR_COUNT; i++) {
		BUS_ADDRESS *entry = &pDevExt->busAddr[i];
		resource_size_t length = pci_resource_len(dev, i);

		pDevExt->numBusAddr = i + 1;
		if (length == 0)
			continue;
		if (length > U32_MAX)
			return -E2BIG;
		entry->physicalAddress = pci_resource_start(dev, i);
		entry->length = (u32)length;
		if (!(pci_resource_flags(dev, i) & IORESOURCE_MEM))
			continue;
		entry->virtualAddress = ioremap(pci_resource_start(dev, i), length);
		if (!entry->virtualAddress)
			return -ENOMEM;
	}
	return 0;
}

static void UnmapBars(DEVICE_EXTENSION *pDevExt)
{
	int i;

	for (i = 0; i < VORTAQ_BAR_COUNT; i++) {
		if (pDevExt->busAddr[i].virtualAddress)
			iounmap(pDevExt->busAddr[i].virtualAddress);
		memset(&pDevExt->busAddr[i], 0, sizeof(pDevExt->busAddr[i]));
	}
	pDevExt->numBusAddr = 0;
}

/* A 64-bit DMA mask when the platform takes it, else 32 bits. */
static int SetDmaMask(struct pci_dev *dev)
{
	if (!dma_set_mask_and_coherent(&dev->dev, DMA_BIT_MASK(64)))
		return 0;
	return dma_set_mask_and_coherent(&dev->dev, DMA_BIT_MASK(32));
}

/*
 * Releases what the adapter holds, in an order that is safe while its files are still open: the channels stop
 * and their callers return first, then the files go (closing those still open), then the interrupts, the rings
 * and the card's resources.
 */
static void VortaqReleaseAdapter(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;

	VortaqQuiesceAdapter(pDevExt);
	RemoveProcFs(pDevExt);
	ReleaseIRQ(pDevExt);
	VortaqDmaRelease(pDevExt);
	UnmapBars(pDevExt);
	if (pDevExt->flags & VORTAQ_FLAG_REGIONS)
		pci_release_regions(dev);
	if (pDevExt->flags & VORTAQ_FLAG_ENABLED) {
		pci_clear_master(dev);
		pci_disable_device(dev);
	}
	kfree(pDevExt);
}

/* Steps of the probe once the adapter has its name; the adapter list's lock is held. */
static int BringUpAdapter(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;
	int result = pci_enable_device(dev);

	if (result)
		return result;
	pDevExt->flags |= VORTAQ_FLAG_ENABLED;
	result = SetDmaMask(dev);
	if (!result)
		result = pci_request_regions(dev, VORTAQ_DRIVER_NAME);
	if (result)
		return result;
	pDevExt->flags |= VORTAQ_FLAG_REGIONS;
	result = MapBars(pDevExt);
	if (!result)
		result = GetPCIConfig(pDevExt);
	if (result)
		return result;
	/* Decided per card: a card without MSI-X or channels leaves the others free to use it. */
	pDevExt->UseMSIX = UseMSIX == 1 && FindPCIMSIXCapabilites(pDevExt);
	result = VortaqDmaInit(pDevExt, (u32)SrcSGLsPerChannel, (u32)DstSGLsPerChannel);
	if (result == -ENODEV)
		pDevExt->UseMSIX = false;
	else if (result)
		return result;
	else
		pci_set_master(dev);
	VortaqDisableInterrupts(pDevExt);
	result = RequestIRQ(pDevExt);
	if (result)
		return result;
	list_add_tail(&pDevExt->AdapterLink, &adapter_list);
	result = InitProcFs(pDevExt, ProcGroup);
	if (result) {
		list_del_init(&pDevExt->AdapterLink);
		return result;
	}
	VortaqEnableInterrupts(pDevExt);
	return 0;
}

/* Builds the adapter of a card; NULL when any step fails, with everything acquired released again. */
static DEVICE_EXTENSION *VortaqAttachAdapter(struct pci_dev *dev)
{
	DEVICE_EXTENSION *pDevExt = kzalloc(sizeof(*pDevExt), GFP_KERNEL);
	int number;
	int result;

	if (!pDevExt)
		return NULL;
	INIT_LIST_HEAD(&pDevExt->AdapterLink);
	VortaqAdapterInit(pDevExt, dev);
	mutex_lock(&adapter_list_lock);
	number = VortaqNextBoardNumber(&adapter_list);
	if (number < 0) {
		result = number;
	} else {
		VortaqNameAdapter(pDevExt, (u8)number);
		pr_info("Pxi95xx: DriverVersion: %d.%d.%d.%d, %s, %s\n", VORTAQ_VERSION_MAJOR, VORTAQ_VERSION_MINOR,
			VORTAQ_VERSION_SUBMINOR, VORTAQ_VERSION_BUILD, VORTAQ_BUILD_DATE, VORTAQ_BUILD_TIME);
		pr_info("Pxi95xx: Device name is %s\n", pDevExt->Name);
		result = BringUpAdapter(pDevExt);
	}
	mutex_unlock(&adapter_list_lock);
	if (result) {
		VortaqReleaseAdapter(pDevExt);
		return NULL;
	}
	return pDevExt;
}

static int VortaqAdd(struct pci_dev *dev, const struct pci_device_id *id)
{
	DEVICE_EXTENSION *pDevExt = VortaqAttachAdapter(dev);

	if (!pDevExt)
		return -ENODEV;
	pci_set_drvdata(dev, pDevExt);
	return 0;
}

static void VortaqRemove(struct pci_dev *dev)
{
	DEVICE_EXTENSION *pDevExt;

	mutex_lock(&adapter_list_lock);
	pDevExt = VortaqFindAdapter(&adapter_list, dev);
	if (pDevExt)
		list_del_init(&pDevExt->AdapterLink);
	mutex_unlock(&adapter_list_lock);
	if (!pDevExt)
		return;
	pci_set_drvdata(dev, NULL);
	VortaqReleaseAdapter(pDevExt);
}

static int VortaqSuspend(struct pci_dev *dev, pm_message_t state)
{
	pci_save_state(dev);
	pci_set_power_state(dev, pci_choose_state(dev, state));
	return 0;
}

static int VortaqResume(struct pci_dev *dev)
{
	pci_set_power_state(dev, PCI_D0);
	pci_restore_state(dev);
	return 0;
}

static struct pci_driver Vortaq_driver = {
	.name = VORTAQ_DRIVER_NAME,
	.id_table = Vortaqpci_tbl,
	.probe = VortaqAdd,
	.remove = VortaqRemove,
	.suspend = VortaqSuspend,
	.resume = VortaqResume,
};

/* Descriptor counts outside the rings' limits are refused at load, before any card sees them. */
static int __init VortaqInitialize(void)
{
	if (SrcSGLsPerChannel < (int)VORTAQ_MIN_ELEMENTS || SrcSGLsPerChannel > (int)VORTAQ_MAX_ELEMENTS ||
	    DstSGLsPerChannel < (int)VORTAQ_MIN_ELEMENTS || DstSGLsPerChannel > (int)VORTAQ_MAX_ELEMENTS)
		return -EINVAL;
	return pci_register_driver(&Vortaq_driver);
}

static void __exit VortaqCleanup(void)
{
	pci_unregister_driver(&Vortaq_driver);
}

module_init(VortaqInitialize);
module_exit(VortaqCleanup);
