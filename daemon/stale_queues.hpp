// The queues that earlier runs of the system left behind: every regular file below /dev/mqueue whose path contains
// "Qor_API" is removed at start; other files are left in place and logged.
#pragma once

namespace qor::daemon {

// False when the directory could not be walked.
bool removeStaleQueues();

} // namespace qor::daemon
