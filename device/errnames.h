// Names of the errors a driver request may fail with. Numbers differ between the board's
// MIPS ABI and a PC, so a recorded refusal travels by name.
#pragma once

#include <cerrno>

struct ErrorName {
    int error;
    const char* name;
};

#define AVRIG_ERROR_NAME(error) {error, #error}

constexpr ErrorName kErrorNames[] = {
    AVRIG_ERROR_NAME(EPERM),  AVRIG_ERROR_NAME(ENOENT),    AVRIG_ERROR_NAME(EINTR),     AVRIG_ERROR_NAME(EIO),
    AVRIG_ERROR_NAME(ENXIO),  AVRIG_ERROR_NAME(EAGAIN),    AVRIG_ERROR_NAME(ENOMEM),    AVRIG_ERROR_NAME(EACCES),
    AVRIG_ERROR_NAME(EFAULT), AVRIG_ERROR_NAME(EBUSY),     AVRIG_ERROR_NAME(ENODEV),    AVRIG_ERROR_NAME(EINVAL),
    AVRIG_ERROR_NAME(ENOTTY), AVRIG_ERROR_NAME(ENOSPC),    AVRIG_ERROR_NAME(ERANGE),    AVRIG_ERROR_NAME(ENOSYS),
    AVRIG_ERROR_NAME(EOPNOTSUPP), AVRIG_ERROR_NAME(ETIMEDOUT),
};

#undef AVRIG_ERROR_NAME

// nullptr for an error without a name here.
constexpr const char* NameOfError(int error) {
    for (const ErrorName& entry : kErrorNames) {
        if (entry.error == error) {
            return entry.name;
        }
    }
    return nullptr;
}
