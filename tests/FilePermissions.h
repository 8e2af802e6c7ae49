// Read-only files and directories for tests that run as root too: root
// passes every permission check through two capabilities, which a child
// process drops before it runs the code under test.
#pragma once

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testperm {

// Makes this process, and every program it runs, subject to file permissions:
// the capabilities that override them leave its bounding, permitted and
// effective sets. Call it in a forked child only. False when it could not.
inline bool ObeyFilePermissions() {
    if (geteuid() != 0) return true;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        const uint32_t bit = 1u << (cap % 32);
        data[cap / 32].effective &= ~bit;
        data[cap / 32].permitted &= ~bit;
        data[cap / 32].inheritable &= ~bit;
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace testperm
