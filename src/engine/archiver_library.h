// The archiver library (7-zip32.dll) as the deployment uses it: its two calls,
// bound on first use, and the part of its progress record that the hook reads.
#pragma once

#include <windows.h>

#include <cstddef>  // the archiver header uses offsetof
#include <cstdint>
#include <string>

#include "sevenzip32.h"

struct ArchiverFunctions {
    SevenZipFunction sevenZip = nullptr;
    SevenZipSetOwnerWindowExFunction setOwnerWindowEx = nullptr;
};

// Binds the library on first use (ending the program when it cannot be found).
const ArchiverFunctions& ArchiverLibrary();

constexpr UINT kArchiverEndNotification = SEVENZIP_STATE_END;

struct ArchiverProgress {
    std::uint64_t fileSize = 0;
    std::uint64_t written = 0;
    std::string fileName;  // GBK
};
// Reads the leading (basic) part of the archiver's extended extraction-info record.
ArchiverProgress ReadArchiverProgress(const void* info);
