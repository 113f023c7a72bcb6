#pragma once
#include <functional>
#include <string>
#include <vector>

namespace sentrel {

/// Outcome of an import or export: how many URLs were read or written, and whether the
/// file layer failed (with the reason).
struct UrlFileResult {
    int nCount = 0;
    bool bOk = true;
    bool bOpened = true;  ///< false when the file could not be opened or created at all
    std::string strError;
};

/// Reads a URL list text file: one URL per line, CR LF or LF line ends, Ctrl-Z or the
/// first empty line ends the data, white space trimmed at both ends, blank lines
/// skipped. Streams the file; calls `onUrl` for every URL found.
UrlFileResult ImportUrlFile(const std::string& path,
                            const std::function<void(std::string&&)>& onUrl);

/// Writes every URL followed by CR LF, truncating the file. Stops at the first write error.
UrlFileResult ExportUrlFile(const std::string& path, const std::vector<std::string>& urls);

}  // namespace sentrel
