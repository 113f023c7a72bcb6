#pragma once
#include <functional>
#include <string>
#include <vector>

namespace sentrel {

/// How an import or export ended.
enum class FileOutcome {
    Done,
    NotOpened,  ///< the file could not be opened or created at all
    Failed,     ///< reading or writing failed part way (what was read stays read)
};
/// Outcome of an import or export: how it ended (with the reason), and how many URLs were
/// read or written.
struct UrlFileResult {
    FileOutcome outcome = FileOutcome::Done;
    std::string reason;
    int nCount = 0;
    int nSkipped = 0;  ///< import: lines too long, or beyond the row limit
    bool Ok() const { return outcome == FileOutcome::Done; }
    void Fail(FileOutcome why, std::string text) {
        if (outcome == FileOutcome::Done) outcome = why, reason = std::move(text);
    }
};

/// Lines longer than this are no URL anyone typed: an import skips them.
constexpr std::size_t kMaxImportLine = 64 * 1024;
/// An import stops after this many rows: a list of that size is already far beyond what
/// can be watched (50 at a time) and still fits in a few megabytes.
constexpr int kMaxImportRows = 100000;

/// Reads a URL list text file: one URL per line, CR LF or LF line ends, Ctrl-Z or the
/// first empty line ends the data, white space trimmed at both ends, blank lines
/// skipped. Streams the file; calls `onUrl` for every URL found. Only regular files are
/// read. A UTF-8 byte-order mark is dropped; a UTF-16 file (with its mark) is decoded.
/// The longest URL a row takes, in characters (the edit field's limit).
constexpr std::size_t kMaxUrlChars = 65534;
/// A URL as typed or pasted, made fit for one line of a list file: control characters
/// (line breaks, tabs) are taken out and blanks at both ends trimmed.
std::string CleanUrlText(const std::string& text);
/// A note on one line: each line break (CR LF, CR or LF) becomes a blank.
std::string CleanNoteText(const std::string& text);

UrlFileResult ImportUrlFile(const std::string& path,
                            const std::function<void(std::string&&)>& onUrl);

/// Writes every URL followed by CR LF. The file is replaced only once the whole list is
/// written and flushed; on any error the old file stays as it was.
UrlFileResult ExportUrlFile(const std::string& path, const std::vector<std::string>& urls);

}  // namespace sentrel
