/* Interrupts: acknowledging a channel's interrupt, noting a message answer, and the channels' interrupt enables. */
#include "vortaq.h"

/* A device that is gone reads all ones: nothing of it is ours then. */
#define V2_STATUS_ABSENT 0xFFFFFFFFu
#define V1_STATUS_ABSENT 0xFFu

static u32 AcknowledgeV2(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	u32 status = vq_read32(pDMAChExt->Registers, V2_PCIE_INT_STATUS);
	u32 raised = status & (V2_PCIE_DMA_ERROR | V2_PCIE_SGL_INT | V2_PCIE_SW_INT_STATUS);

	if (status == V2_STATUS_ABSENT || !raised)
		return 0;
	vq_write32(pDMAChExt->Registers, V2_PCIE_INT_STATUS, raised);
	return raised;
}

static u32 AcknowledgeV1(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	u8 status = vq_read8(pDMAChExt->Registers, V1_PCIE_STATUS);

	if (status == V1_STATUS_ABSENT || !(status & V1_PCIE_INT_STATUS))
		return 0;
	vq_write8(pDMAChExt->Registers, V1_PCIE_STATUS, status | V1_PCIE_INT_STATUS);
	return V1_PCIE_INT_STATUS;
}

/**
 * VortaqChannelInterrupt() - acknowledge the channel's interrupt and schedule its completion tasklet
 * @pDMAChExt: channel
 *
 * Counts engine errors, and on channel 0 of a second-generation engine turns the firmware's software interrupt
 * into a pending message answer unless the channel runs in FIFO mode. Hard-interrupt context.
 * Return: whether the channel had raised the interrupt.
 */
bool VortaqChannelInterrupt(DMA_CHANNEL_EXTENSION *pDMAChExt)
{
	bool v1 = pDMAChExt->pDevExt->v1;
	u32 raised = v1 ? AcknowledgeV1(pDMAChExt) : AcknowledgeV2(pDMAChExt);
	unsigned long flags;

	if (!raised)
		return false;
	flags = vq_spin_lock(&pDMAChExt->DMAEngSemaphore);
	if (!v1 && (raised & V2_PCIE_DMA_ERROR))
		pDMAChExt->DMAErrors++;
	if (!v1 && pDMAChExt->DmaChannel == 0 && (raised & V2_PCIE_SW_INT_STATUS) &&
	    pDMAChExt->DMAMode == DMA_MODE_NOT_SET)
		pDMAChExt->DMAMode = DMA_MODE_GE_FW_CMD;
	pDMAChExt->InterruptCount++;
	vq_spin_unlock(&pDMAChExt->DMAEngSemaphore, flags);
	vq_tasklet_schedule(&pDMAChExt->CompletionTasklet);
	return true;
}

/**
 * VortaqAdapterInterrupt() - the one interrupt of all channels (MSI or a shared line)
 * @pDevExt: adapter
 *
 * Every channel is checked as with a vector of its own, so a message answer is noted here too.
 * Return: whether any channel had raised it.
 */
bool VortaqAdapterInterrupt(DEVICE_EXTENSION *pDevExt)
{
	bool handled = false;
	u32 i;

	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++)
		if (pDevExt->pDMAChExt[i] && VortaqChannelInterrupt(pDevExt->pDMAChExt[i]))
			handled = true;
	return handled;
}

static void SetChannelInterrupts(DMA_CHANNEL_EXTENSION *pDMAChExt, bool on)
{
	vq_iomem window = pDMAChExt->Registers;

	if (pDMAChExt->pDevExt->v1) {
		/* Bit 1 of the status acknowledges an interrupt when written: leave it 0. */
		u8 status = vq_read8(window, V1_PCIE_STATUS) & ~(V1_PCIE_INT_STATUS | V1_PCIE_INT_ENABLE);

		vq_write8(window, V1_PCIE_STATUS, status | (on ? V1_PCIE_INT_ENABLE : 0));
	} else {
		const u32 enables = V2_PCIE_INT_ENABLE | V2_DMA_ERROR_ENABLE | V2_DMA_SGL_ENABLE;
		u32 control = vq_read32(window, V2_PCIE_INT_CONTROL);

		vq_write32(window, V2_PCIE_INT_CONTROL, on ? control | enables : control & ~enables);
		if (!on)
			vq_write32(window, V2_DMA_CONTROL, vq_read32(window, V2_DMA_CONTROL) & ~V2_DMA_ENABLE);
	}
}

/**
 * VortaqDisableInterrupts() - switch every channel's interrupts off; a second-generation engine stops too
 * @pDevExt: adapter
 */
void VortaqDisableInterrupts(DEVICE_EXTENSION *pDevExt)
{
	u32 i;

	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++)
		if (pDevExt->pDMAChExt[i])
			SetChannelInterrupts(pDevExt->pDMAChExt[i], false);
}

/**
 * VortaqEnableInterrupts() - switch every channel's interrupts on; a stopped engine stays stopped
 * @pDevExt: adapter
 */
void VortaqEnableInterrupts(DEVICE_EXTENSION *pDevExt)
{
	u32 i;

	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++)
		if (pDevExt->pDMAChExt[i])
			SetChannelInterrupts(pDevExt->pDMAChExt[i], true);
}
