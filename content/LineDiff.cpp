#include "content/LineDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "platform/TextRules.h"

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

// Above this many differing lines on both sides, or spans whose product passes the cost
// below, the edit script's cost grows too fast for a list of pages (it is bounded by the
// product): the lines are then matched as sets to be shown (which lines went, which came,
// in the new text's order), or by their anchors for a delta.
constexpr std::size_t kExactLimit = 4000;
constexpr std::size_t kExactCost = 4 * kExactLimit * kExactLimit;

bool ExactAffordable(std::size_t n, std::size_t m) {
    return !(n > kExactLimit && m > kExactLimit) && n * m <= kExactCost;
}

void SetDiff(const std::vector<std::string>& a, const std::vector<std::string>& b,
             std::vector<DiffLine>& out) {
    std::unordered_map<std::string_view, int> inB, inA;
    for (const auto& l : b) ++inB[l];
    for (const auto& l : a)
        if (inB[l]-- <= 0) out.push_back({DiffLine::kRemoved, l});
    for (const auto& l : a) ++inA[l];
    for (const auto& l : b) out.push_back({inA[l]-- > 0 ? DiffLine::kSame : DiffLine::kAdded, l});
}

// The lines of a and b that are alike, in order, between lines each text holds once: the
// longest run of such lines in the same order on both sides (patience sorting) stands
// still, and the changes lie between them. Cheap (n log n), never minimal, always a
// script that makes b of a.
class Anchored {
  public:
    Anchored(const std::vector<std::string>& a, const std::vector<std::string>& b, std::vector<DiffLine>& out)
        : m_a(a), m_b(b), m_out(out) {}
    void Run(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1, int depth);

  private:
    void Replace(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
        for (std::size_t i = a0; i < a1; ++i) m_out.push_back({DiffLine::kRemoved, m_a[i]});
        for (std::size_t i = b0; i < b1; ++i) m_out.push_back({DiffLine::kAdded, m_b[i]});
    }
    const std::vector<std::string>& m_a;
    const std::vector<std::string>& m_b;
    std::vector<DiffLine>& m_out;
};

// Bounds the recursion of a text built to defeat the anchors: beyond, a span is replaced.
constexpr int kMaxAnchorDepth = 32;

void EditScript(const std::vector<std::string>& a, std::size_t a0, std::size_t a1, const std::vector<std::string>& b,
                std::size_t b0, std::size_t b1, std::vector<DiffLine>& out, bool sets);

void Anchored::Run(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1, int depth) {
    if (ExactAffordable(a1 - a0, b1 - b0)) return EditScript(m_a, a0, a1, m_b, b0, b1, m_out, false);
    if (depth >= kMaxAnchorDepth) return Replace(a0, a1, b0, b1);
    // Lines found once on each side, by where they stand in a.
    struct Seen {
        int inA = 0, inB = 0;
        std::size_t atA = 0, atB = 0;
    };
    std::unordered_map<std::string_view, Seen> seen;
    seen.reserve((a1 - a0) + (b1 - b0));
    for (std::size_t i = a0; i < a1; ++i) {
        Seen& s = seen[m_a[i]];
        ++s.inA;
        s.atA = i;
    }
    for (std::size_t i = b0; i < b1; ++i) {
        auto it = seen.find(m_b[i]);
        if (it == seen.end()) continue;
        ++it->second.inB;
        it->second.atB = i;
    }
    std::vector<std::pair<std::size_t, std::size_t>> pairs;  // (in a, in b), in a's order
    for (std::size_t i = a0; i < a1; ++i) {
        const Seen& s = seen[m_a[i]];
        if (s.inA == 1 && s.inB == 1) pairs.emplace_back(i, s.atB);
    }
    // The longest run in b's order too: piles of patience sorting, each pair linked back.
    std::vector<std::size_t> tops;               // index into pairs of each pile's top
    std::vector<std::ptrdiff_t> back(pairs.size(), -1);
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        auto pile = std::lower_bound(tops.begin(), tops.end(), pairs[k].second,
                                     [&](std::size_t top, std::size_t atB) { return pairs[top].second < atB; });
        if (pile != tops.begin()) back[k] = static_cast<std::ptrdiff_t>(*(pile - 1));
        if (pile == tops.end())
            tops.push_back(k);
        else
            *pile = k;
    }
    if (tops.empty()) return Replace(a0, a1, b0, b1);
    std::vector<std::pair<std::size_t, std::size_t>> anchors;
    for (std::ptrdiff_t k = static_cast<std::ptrdiff_t>(tops.back()); k >= 0; k = back[static_cast<std::size_t>(k)])
        anchors.push_back(pairs[static_cast<std::size_t>(k)]);
    std::reverse(anchors.begin(), anchors.end());
    std::size_t ai = a0, bi = b0;
    for (const auto& [atA, atB] : anchors) {
        Run(ai, atA, bi, atB, depth + 1);
        m_out.push_back({DiffLine::kSame, m_a[atA]});
        ai = atA + 1;
        bi = atB + 1;
    }
    Run(ai, a1, bi, b1, depth + 1);
}

// The edit script from a[a0, a1) to b[b0, b1), every line kept, removed or added in the
// order of b (removed lines where they stood). A differing middle too large for an exact
// one is matched as sets when `sets` (a diff to show), else by its anchors (a delta).
void EditScript(const std::vector<std::string>& a, std::size_t a0, std::size_t a1, const std::vector<std::string>& b,
                std::size_t b0, std::size_t b1, std::vector<DiffLine>& out, bool sets) {
    // A change touches few lines: the common head and tail need no edit script.
    std::size_t head = 0;
    while (a0 + head < a1 && b0 + head < b1 && a[a0 + head] == b[b0 + head]) ++head;
    std::size_t tail = 0;
    while (tail < a1 - a0 - head && tail < b1 - b0 - head && a[a1 - 1 - tail] == b[b1 - 1 - tail]) ++tail;
    for (std::size_t i = 0; i < head; ++i) out.push_back({DiffLine::kSame, a[a0 + i]});
    const std::size_t ma0 = a0 + head, ma1 = a1 - tail, mb0 = b0 + head, mb1 = b1 - tail;
    const bool large = !ExactAffordable(ma1 - ma0, mb1 - mb0);
    if (large && sets) {
        const std::vector<std::string> midA(a.begin() + ma0, a.begin() + ma1), midB(b.begin() + mb0, b.begin() + mb1);
        SetDiff(midA, midB, out);
    } else if (large) {
        Anchored(a, b, out).Run(ma0, ma1, mb0, mb1, 0);
    } else if (ma0 < ma1 || mb0 < mb1) {
        const std::vector<std::string> midA(a.begin() + ma0, a.begin() + ma1), midB(b.begin() + mb0, b.begin() + mb1);
        dtl::Diff<std::string, std::vector<std::string>> diff(midA, midB);
        diff.compose();
        for (const auto& [line, info] : diff.getSes().getSequence()) {
            const DiffLine::Kind kind = info.type == dtl::SES_DELETE ? DiffLine::kRemoved
                                        : info.type == dtl::SES_ADD  ? DiffLine::kAdded
                                                                     : DiffLine::kSame;
            out.push_back({kind, line});
        }
    }
    for (std::size_t i = b1 - tail; i < b1; ++i) out.push_back({DiffLine::kSame, b[i]});
}

}  // namespace

std::vector<DiffLine> DiffLines(const std::string& before, const std::string& after) {
    const std::vector<std::string> a = Lines(before), b = Lines(after);
    std::vector<DiffLine> out;
    EditScript(a, 0, a.size(), b, 0, b.size(), out, true);
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

LineChanges ChangesOf(const std::vector<DiffLine>& diff, int limit) {
    LineChanges changes;
    for (const DiffLine& line : diff) {
        if (line.kind == DiffLine::kRemoved) {
            if (changes.nRemoved++ < limit) changes.removed.push_back(CutText(line.text, kMaxLineChars));
        } else if (line.kind == DiffLine::kAdded) {
            if (changes.nAdded++ < limit) changes.added.push_back(CutText(line.text, kMaxLineChars));
        }
    }
    return changes;
}

LineChanges ChangedLines(const std::string& before, const std::string& after, int limit) {
    return ChangesOf(DiffLines(before, after), limit);
}

// A delta is lines of commands: "=N" (take N lines of the old text), "-N" (skip N), "+N"
// followed by the N lines to put in.
std::string LineDelta(const std::string& from, const std::string& to) {
    const std::vector<std::string> a = Lines(from), b = Lines(to);
    std::vector<DiffLine> script;
    EditScript(a, 0, a.size(), b, 0, b.size(), script, false);
    std::string delta;
    auto command = [&delta](char op, std::size_t n) {
        if (n) delta += op + std::to_string(n) + "\n";
    };
    std::size_t same = 0, skip = 0;
    std::vector<const std::string*> put;
    auto flush = [&] {
        command('=', same);
        command('-', skip);
        command('+', put.size());
        for (const std::string* line : put) delta += *line + "\n";
        same = skip = 0;
        put.clear();
    };
    for (const DiffLine& line : script) {
        if (line.kind == DiffLine::kSame) {
            if (skip || !put.empty()) flush();
            ++same;
        } else {
            if (same) {
                command('=', same);
                same = 0;
            }
            if (line.kind == DiffLine::kRemoved)
                ++skip;
            else
                put.push_back(&line.text);
        }
    }
    flush();
    // Worth it only when it is well smaller than the text it makes.
    if (delta.size() * 2 > to.size()) return std::string();
    return delta;
}

bool ApplyLineDelta(const std::string& from, const std::string& delta, std::string& to) {
    const std::vector<std::string> a = Lines(from);
    std::size_t next = 0;  // the next line of `from`
    std::string out;
    std::size_t pos = 0;
    while (pos < delta.size()) {
        const std::size_t end = delta.find('\n', pos);
        if (end == std::string::npos || end == pos) return false;
        const char op = delta[pos];
        const std::size_t n = std::strtoul(delta.c_str() + pos + 1, nullptr, 10);
        pos = end + 1;
        if (op == '=' || op == '-') {
            if (n > a.size() - next) return false;
            if (op == '=')
                for (std::size_t i = 0; i < n; ++i) out += a[next + i] + "\n";
            next += n;
        } else if (op == '+') {
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t lineEnd = delta.find('\n', pos);
                if (lineEnd == std::string::npos) return false;
                out.append(delta, pos, lineEnd - pos + 1);
                pos = lineEnd + 1;
            }
        } else {
            return false;
        }
    }
    if (next != a.size()) return false;
    to = std::move(out);
    return true;
}

}  // namespace content
}  // namespace sentrel
