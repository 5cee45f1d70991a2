/*
 * The kernel's side of an adapter's /proc directory: the device file "vortaq" (board requests, mapping of the DMA
 * register block), one file "DMA<n>" per channel (transfers at the file position, channel requests) and the
 * information files. The device and channel files belong to root and the group chosen at load.
 *
 * Removing the directory waits for the requests in progress and then closes the files still open, so the
 * adapter's channels are quiesced before (VortaqQuiesceAdapter) and the records freed after. Mappings of the
 * register block would outlive the files: removal takes them away, later accesses fault.
 */
#include <linux/fs.h>
#include <linux/mm.h>
#include <linux/proc_fs.h>
#include <linux/seq_file.h>
#include <linux/uidgid.h>

#include "vortaq.h"

#define VORTAQ_USER_FILE_MODE 0660
#define VORTAQ_TEXT_FILE_MODE 0444

static long VortaqDeviceIOCtl(struct file *file, unsigned int request, unsigned long arg)
{
	return VortaqIOCtl(pde_data(file_inode(file)), request, arg);
}

/* Remembers the inode the registers are mapped through, so that removal finds the mapping: 0 or -EBUSY. */
static int NoteMapping(DEVICE_EXTENSION *pDevExt, struct inode *inode)
{
	int result = -EBUSY;
	u32 i;

	vq_mutex_lock(&pDevExt->MappingLock);
	for (i = 0; i < VORTAQ_MAPPED_INODES && result; i++)
		if (pDevExt->MappedInodes[i] == inode)
			result = 0;
	for (i = 0; i < VORTAQ_MAPPED_INODES && result; i++) {
		if (!pDevExt->MappedInodes[i]) {
			pDevExt->MappedInodes[i] = igrab(inode);
			result = pDevExt->MappedInodes[i] ? 0 : -ENODEV;
			break;
		}
	}
	vq_mutex_unlock(&pDevExt->MappingLock);
	return result;
}

/*
 * Maps BAR0 from its start whatever offset was asked for: the registers are all the file offers. The kernel's own
 * helper maps I/O memory as such also where host memory is encrypted.
 */
static int simple_remap_mmap(struct file *file, struct vm_area_struct *vma)
{
	DEVICE_EXTENSION *pDevExt = pde_data(file_inode(file));
	int result = VortaqMapCheck(pDevExt, vma->vm_end - vma->vm_start);

	if (result == -EIO)
		pr_err("physAddr is Zero\n");
	if (!result)
		result = NoteMapping(pDevExt, file_inode(file));
	if (result)
		return result;
	vma->vm_flags |= VM_IO | VM_DONTEXPAND | VM_DONTDUMP;
	vma->vm_page_prot = pgprot_noncached(vma->vm_page_prot);
	vma->vm_pgoff = 0;
	if (vm_iomap_memory(vma, pDevExt->busAddr[0].physicalAddress, pDevExt->busAddr[0].length)) {
		pr_err("io_remap_pfn_range failed.\n");
		return -EAGAIN;
	}
	return 0;
}

static const struct proc_ops VortaqDeviceOps = {
	.proc_ioctl = VortaqDeviceIOCtl,
	.proc_mmap = simple_remap_mmap,
};

static int VortaqDMAOpenFile(struct inode *inode, struct file *file)
{
	return VortaqDMAOpen(pde_data(inode));
}

static int VortaqDMACloseFile(struct inode *inode, struct file *file)
{
	VortaqDMAClose(pde_data(inode));
	return 0;
}

/* The file position is the card address; it does not move. */
static ssize_t VortaqReadHandler(struct file *file, char __user *buffer, size_t count, loff_t *position)
{
	if (*position < 0)
		return -EINVAL;
	return VortaqTransfer(pde_data(file_inode(file)), (u64)(uintptr_t)buffer, count, (u64)*position,
			      XFER_CARD_TO_HOST);
}

static ssize_t VortaqWriteHandler(struct file *file, const char __user *buffer, size_t count, loff_t *position)
{
	if (*position < 0)
		return -EINVAL;
	return VortaqTransfer(pde_data(file_inode(file)), (u64)(uintptr_t)buffer, count, (u64)*position,
			      XFER_HOST_TO_CARD);
}

static long VortaqDMAIOCtlFile(struct file *file, unsigned int request, unsigned long arg)
{
	return VortaqDMAIOCtl(pde_data(file_inode(file)), request, arg);
}

static const struct proc_ops VortaqChannelOps = {
	.proc_open = VortaqDMAOpenFile,
	.proc_release = VortaqDMACloseFile,
	.proc_read = VortaqReadHandler,
	.proc_write = VortaqWriteHandler,
	.proc_ioctl = VortaqDMAIOCtlFile,
	/* Without it the kernel refuses every seek on a /proc file, and the card address is set by seeking. */
	.proc_lseek = default_llseek,
};

static int procfs_show(struct seq_file *seq, void *unused)
{
	const VORTAQ_PROCFS_ENTRY *entry = seq->private;

	entry->show(seq, entry->pDevExt);
	return 0;
}

static int procfs_open(struct inode *inode, struct file *file)
{
	return single_open(file, procfs_show, pde_data(inode));
}

/* The information files take nothing. */
static ssize_t procfs_write(struct file *file, const char __user *buffer, size_t count, loff_t *position)
{
	return -EINVAL;
}

static const struct proc_ops VortaqTextOps = {
	.proc_open = procfs_open,
	.proc_read = seq_read,
	.proc_write = procfs_write,
	.proc_lseek = seq_lseek,
	.proc_release = single_release,
};

static bool CreateUserFile(DEVICE_EXTENSION *pDevExt, const char *name, const struct proc_ops *ops, void *data,
			   u32 group)
{
	struct proc_dir_entry *entry =
		proc_create_data(name, VORTAQ_USER_FILE_MODE, pDevExt->ProcDirectory, ops, data);

	if (!entry)
		return false;
	proc_set_user(entry, GLOBAL_ROOT_UID, KGIDT_INIT(group));
	return true;
}

/**
 * InitProcFs() - publish the adapter's /proc directory, named after the adapter
 * @pDevExt: adapter with its channels discovered
 * @group: group id that may use the device and channel files besides root
 * Return: 0, or -ENOMEM with nothing published.
 */
int InitProcFs(DEVICE_EXTENSION *pDevExt, u32 group)
{
	char name[16];
	u32 i;

	pDevExt->ProcDirectory = proc_mkdir(pDevExt->Name, NULL);
	if (!pDevExt->ProcDirectory)
		return -ENOMEM;
	if (!CreateUserFile(pDevExt, "vortaq", &VortaqDeviceOps, pDevExt, group))
		goto fail;
	for (i = 0; i < VORTAQ_MAX_CHANNELS; i++) {
		if (!pDevExt->pDMAChExt[i])
			continue;
		snprintf(name, sizeof(name), "DMA%u", i);
		if (!CreateUserFile(pDevExt, name, &VortaqChannelOps, pDevExt->pDMAChExt[i], group))
			goto fail;
	}
	for (i = 0; i < VORTAQ_TEXT_FILES; i++) {
		pDevExt->TextFiles[i] = Vortaqprocfs_table[i];
		pDevExt->TextFiles[i].pDevExt = pDevExt;
		if (!proc_create_data(pDevExt->TextFiles[i].name, VORTAQ_TEXT_FILE_MODE, pDevExt->ProcDirectory,
				      &VortaqTextOps, &pDevExt->TextFiles[i]))
			goto fail;
	}
	return 0;

fail:
	RemoveProcFs(pDevExt);
	return -ENOMEM;
}

/**
 * RemoveProcFs() - remove the adapter's /proc directory with everything in it, and every mapping of its registers
 * @pDevExt: adapter; its channels quiesced
 *
 * Returns once no request runs on its files any more; files still open are closed on the way.
 */
void RemoveProcFs(DEVICE_EXTENSION *pDevExt)
{
	u32 i;

	proc_remove(pDevExt->ProcDirectory);
	pDevExt->ProcDirectory = NULL;
	for (i = 0; i < VORTAQ_MAPPED_INODES; i++) {
		struct inode *inode = pDevExt->MappedInodes[i];

		if (!inode)
			continue;
		unmap_mapping_range(inode->i_mapping, 0, 0, 1);
		iput(inode);
		pDevExt->MappedInodes[i] = NULL;
	}
}
