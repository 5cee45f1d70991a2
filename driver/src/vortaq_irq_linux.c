/*
 * The adapter's interrupt vectors: one MSI-X vector per channel when the card offers them, else one MSI vector, else
 * the shared legacy line for all channels. What a handler does is in VortaqIrq.c.
 */
#include <linux/interrupt.h>
#include <linux/pci.h>

#include "vortaq.h"

static irqreturn_t VortaqMSIXISR(int irq, void *channel)
{
	return VortaqChannelInterrupt(channel) ? IRQ_HANDLED : IRQ_NONE;
}

static irqreturn_t VortaqISR(int irq, void *adapter)
{
	return VortaqAdapterInterrupt(adapter) ? IRQ_HANDLED : IRQ_NONE;
}

/* Vector v serves the channel of engine index v; channels may have gaps, so the highest index counts. */
static u32 MSIXVectorCount(const DEVICE_EXTENSION *pDevExt)
{
	u32 count = 0;
	u32 i;

	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++)
		if (pDevExt->pDMAChExt[i])
			count = i + 1;
	return count;
}

static void FreeMSIXHandlers(DEVICE_EXTENSION *pDevExt, u32 vectors)
{
	u32 v;

	for (v = 0; v < vectors; v++)
		if (pDevExt->pDMAChExt[v])
			free_irq(pci_irq_vector(pDevExt->pPciDev, v), pDevExt->pDMAChExt[v]);
}

static int RequestMSIX(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;
	u32 vectors = MSIXVectorCount(pDevExt);
	int result;
	u32 v;

	if (vectors == 0)
		return -ENODEV;
	result = pci_alloc_irq_vectors(dev, vectors, vectors, PCI_IRQ_MSIX);
	if (result < 0)
		return result;
	for (v = 0; v < vectors; v++) {
		if (!pDevExt->pDMAChExt[v])
			continue;
		result = request_irq(pci_irq_vector(dev, v), VortaqMSIXISR, 0, pDevExt->Name, pDevExt->pDMAChExt[v]);
		if (result) {
			FreeMSIXHandlers(pDevExt, v);
			pci_free_irq_vectors(dev);
			return result;
		}
	}
	pDevExt->NumIRQVectors = vectors;
	pDevExt->flags |= VORTAQ_FLAG_MSIX;
	return 0;
}

/* One MSI vector is enabled: its handler serves all channels. */
static int InstallMSIHandler(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;
	int result = request_irq(pci_irq_vector(dev, 0), VortaqISR, 0, pDevExt->Name, pDevExt);

	if (result) {
		pci_free_irq_vectors(dev);
		return result;
	}
	pDevExt->flags |= VORTAQ_FLAG_MSI;
	return 0;
}

static int InstallLegacyHandler(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;
	int result;

	if (!dev->irq)
		return -ENODEV;
	result = request_irq(dev->irq, VortaqISR, IRQF_SHARED, pDevExt->Name, pDevExt);
	if (!result)
		pDevExt->flags |= VORTAQ_FLAG_LEGACY_IRQ;
	return result;
}

/**
 * RequestIRQ() - install the adapter's interrupt handlers
 * @pDevExt: adapter with its channels discovered and their interrupts disabled
 *
 * MSI-X only when the card may use it (UseMSIX); when MSI-X cannot serve every channel, one MSI vector; when the
 * device offers no MSI, the shared legacy line. Return: 0 or a negative errno; -ENODEV for a device without an
 * interrupt.
 */
int RequestIRQ(DEVICE_EXTENSION *pDevExt)
{
	int result;

	if (pDevExt->UseMSIX && RequestMSIX(pDevExt) == 0)
		result = 0;
	else if (pci_alloc_irq_vectors(pDevExt->pPciDev, 1, 1, PCI_IRQ_MSI) == 1)
		result = InstallMSIHandler(pDevExt);
	else
		result = InstallLegacyHandler(pDevExt);
	if (!result)
		pDevExt->interruptAvailable = true;
	return result;
}

/**
 * ReleaseIRQ() - remove the adapter's interrupt handlers; waits for a handler still running
 * @pDevExt: adapter; a second call does nothing
 */
void ReleaseIRQ(DEVICE_EXTENSION *pDevExt)
{
	struct pci_dev *dev = pDevExt->pPciDev;

	if (pDevExt->flags & VORTAQ_FLAG_LEGACY_IRQ)
		free_irq(dev->irq, pDevExt);
	if (pDevExt->flags & VORTAQ_FLAG_MSI) {
		free_irq(pci_irq_vector(dev, 0), pDevExt);
		pci_free_irq_vectors(dev);
	}
	if (pDevExt->flags & VORTAQ_FLAG_MSIX) {
		FreeMSIXHandlers(pDevExt, pDevExt->NumIRQVectors);
		pci_free_irq_vectors(dev);
		pDevExt->NumIRQVectors = 0;
	}
	pDevExt->flags &= ~(VORTAQ_FLAG_LEGACY_IRQ | VORTAQ_FLAG_MSI | VORTAQ_FLAG_MSIX);
	pDevExt->interruptAvailable = false;
}
