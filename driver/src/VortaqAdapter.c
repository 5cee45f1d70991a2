/* The module's adapters: their board numbers and names, and shutting an adapter's channels down for its removal. */
#include "vortaq.h"

#define VORTAQ_BOARD_NUMBERS 256u

static DEVICE_EXTENSION *AdapterOf(const struct list_head *link)
{
	return container_of(link, DEVICE_EXTENSION, AdapterLink);
}

/**
 * VortaqNextBoardNumber() - the board number of an adapter about to join the list
 * @adapters: the module's adapters, their lock held
 *
 * One more than the last adapter's number, modulo 256, or 0 for the first adapter: a removed adapter's number is
 * reused only when it was the last one. Return: the number, or -EBUSY when an adapter still has it (its /proc
 * directory would have the same name).
 */
int VortaqNextBoardNumber(const struct list_head *adapters)
{
	const struct list_head *link;
	u32 number;

	if (list_empty(adapters))
		return 0;
	number = (AdapterOf(adapters->prev)->BoardNumber + 1u) % VORTAQ_BOARD_NUMBERS;
	for (link = adapters->next; link != adapters; link = link->next)
		if (AdapterOf(link)->BoardNumber == number)
			return -EBUSY;
	return (int)number;
}

/**
 * VortaqNameAdapter() - give the adapter its board number and its name, "Pxi95xx" followed by the number
 * @pDevExt: adapter
 * @boardNumber: from VortaqNextBoardNumber()
 */
void VortaqNameAdapter(DEVICE_EXTENSION *pDevExt, u8 boardNumber)
{
	pDevExt->BoardNumber = boardNumber;
	snprintf(pDevExt->Name, sizeof(pDevExt->Name), "%s%u", VORTAQ_DRIVER_NAME, (unsigned int)boardNumber);
}

/**
 * VortaqFindAdapter() - the adapter of a PCI device
 * @adapters: the module's adapters, their lock held
 * @pPciDev: device
 * Return: the adapter, or NULL when the device has none (its probe failed).
 */
DEVICE_EXTENSION *VortaqFindAdapter(const struct list_head *adapters, const vq_pci_dev *pPciDev)
{
	const struct list_head *link;

	for (link = adapters->next; link != adapters; link = link->next)
		if (AdapterOf(link)->pPciDev == pPciDev)
			return AdapterOf(link);
	return NULL;
}

/**
 * VortaqQuiesceAdapter() - shut every channel down while the adapter's files may still be open
 * @pDevExt: adapter being removed; process context
 *
 * Each channel is marked as releasing: no transfer, FIFO request or open starts on it any more, and closing its
 * file leaves the hardware alone. Every waiter is woken and returns at once, so removing the files does not wait
 * for a caller's time-out. The engines stop before the transfers end, so no page is released while the engine
 * may still move it. Waits for a FIFO request, an open or a close in progress.
 */
void VortaqQuiesceAdapter(DEVICE_EXTENSION *pDevExt)
{
	u32 i;

	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++) {
		DMA_CHANNEL_EXTENSION *pDMAChExt = pDevExt->pDMAChExt[i];
		unsigned long flags;

		if (!pDMAChExt)
			continue;
		flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
		pDMAChExt->ChannelStatus = CHANNEL_RELEASING;
		vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
		vq_wake_all(&pDMAChExt->translationComplete);
		vq_wake_all(&pDMAChExt->FIFOComplete);
		vq_mutex_lock(&pDMAChExt->FIFOS2C_lock);
		StopDMAChannel(pDMAChExt);
		CancelDmaTransactions(pDMAChExt);
		vq_mutex_unlock(&pDMAChExt->FIFOS2C_lock);
	}
}
