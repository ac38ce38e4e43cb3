#pragma once
// Whether the user may install: write access to the Program Files folder and to the machine's
// software registry key. Windows: an access check of the process's token against both security
// descriptors. Linux: write access to the prefix's Program Files folder (the 32-bit program's) and to
// its machine registry file (system.reg).

namespace platform {

bool CheckInstallRights();

}  // namespace platform
