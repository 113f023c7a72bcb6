#include "LineDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "TextRules.h"

namespace sentrel {
namespace content {

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return lines;
}

// Above this many differing lines on both sides, the edit script's cost grows too fast
// for a list of pages: the lines are then matched as sets (which lines went, which came),
// keeping the new text's order.
constexpr std::size_t kExactLimit = 4000;

void SetDiff(const std::vector<std::string>& a, const std::vector<std::string>& b,
             std::vector<DiffLine>& out) {
    std::unordered_map<std::string_view, int> inB, inA;
    for (const auto& l : b) ++inB[l];
    for (const auto& l : a)
        if (inB[l]-- <= 0) out.push_back({DiffLine::kRemoved, l});
    for (const auto& l : a) ++inA[l];
    for (const auto& l : b) out.push_back({inA[l]-- > 0 ? DiffLine::kSame : DiffLine::kAdded, l});
}

}  // namespace

std::vector<DiffLine> DiffLines(const std::string& before, const std::string& after) {
    const std::vector<std::string> a = Lines(before), b = Lines(after);
    std::vector<DiffLine> out;
    // A change touches few lines: the common head and tail need no edit script.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    for (std::size_t i = 0; i < head; ++i) out.push_back({DiffLine::kSame, a[i]});
    const std::vector<std::string> midA(a.begin() + head, a.end() - tail),
        midB(b.begin() + head, b.end() - tail);
    if (midA.size() > kExactLimit && midB.size() > kExactLimit) {
        SetDiff(midA, midB, out);
    } else if (!midA.empty() || !midB.empty()) {
        dtl::Diff<std::string, std::vector<std::string>> diff(midA, midB);
        diff.compose();
        for (const auto& [line, info] : diff.getSes().getSequence()) {
            const DiffLine::Kind kind = info.type == dtl::SES_DELETE ? DiffLine::kRemoved
                                        : info.type == dtl::SES_ADD  ? DiffLine::kAdded
                                                                     : DiffLine::kSame;
            out.push_back({kind, line});
        }
    }
    for (std::size_t i = b.size() - tail; i < b.size(); ++i) out.push_back({DiffLine::kSame, b[i]});
    // Within each run of changed lines, what went comes before what came, as readers of
    // a diff expect.
    for (auto run = out.begin(); run != out.end();) {
        if (run->kind == DiffLine::kSame) {
            ++run;
            continue;
        }
        auto end = std::find_if(run, out.end(), [](const DiffLine& l) { return l.kind == DiffLine::kSame; });
        std::stable_partition(run, end, [](const DiffLine& l) { return l.kind == DiffLine::kRemoved; });
        run = end;
    }
    return out;
}

std::string KeptText(const std::string& text) {
    if (text.size() <= kMaxKeptText) return text;
    const std::size_t end = text.rfind('\n', kMaxKeptText - 1);
    if (end != std::string::npos) return text.substr(0, end + 1);
    std::size_t cut = kMaxKeptText - 1;  // room for the line's end
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "\n";
}

LineChanges ChangedLines(const std::string& before, const std::string& after, int limit) {
    LineChanges changes;
    for (DiffLine& line : DiffLines(before, after)) {
        if (line.kind == DiffLine::kRemoved) {
            if (changes.nRemoved++ < limit) changes.removed.push_back(CutText(line.text, kMaxLineChars));
        } else if (line.kind == DiffLine::kAdded) {
            if (changes.nAdded++ < limit) changes.added.push_back(CutText(line.text, kMaxLineChars));
        }
    }
    return changes;
}

}  // namespace content
}  // namespace sentrel
