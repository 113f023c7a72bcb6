#include "content/WordDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>

namespace sentrel {
namespace content {

namespace {
// True for a character of a script written without spaces (CJK, kana, full-width forms):
// each such character is a word of its own.
bool OwnWord(const std::string& line, std::size_t at, std::size_t& length) {
    const unsigned char c = static_cast<unsigned char>(line[at]);
    length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (at + length > line.size()) length = line.size() - at;
    // U+2E80 and above start with E2 BA..; everything from E3 on is beyond it.
    return length >= 3 && (c >= 0xE3 || (c == 0xE2 && static_cast<unsigned char>(line[at + 1]) >= 0xBA));
}

// Words with the blanks after them, so that joined they give the line back.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t end = start, length = 0;
        if (OwnWord(line, start, length)) {
            end = start + length;
        } else {
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' &&
                   !OwnWord(line, end, length))
                end += length;
        }
        while (end < line.size() && (line[end] == ' ' || line[end] == '\t')) ++end;
        words.push_back(line.substr(start, end - start));
        start = end;
    }
    return words;
}
}  // namespace

// Words of a line as Words counts them, without making them.
static std::size_t WordCount(const std::string& line) {
    std::size_t count = 0, at = 0, length = 0;
    bool inWord = false;
    while (at < line.size()) {
        if (OwnWord(line, at, length)) {
            ++count;
            inWord = false;
        } else if (line[at] == ' ' || line[at] == '\t') {
            inWord = false;
        } else if (!inWord) {
            ++count;
            inWord = true;
        }
        at += std::max<std::size_t>(length, 1);
    }
    return count;
}

std::vector<DiffWord> DiffWords(const std::string& before, const std::string& after) {
    const std::vector<std::string> a = Words(before), b = Words(after);
    std::vector<DiffWord> out;
    // Lines of thousands of words are told whole: a word diff of them costs too much.
    if (a.size() + b.size() > kMaxDiffWords) {
        if (!before.empty()) out.push_back({DiffWord::kRemoved, before});
        if (!after.empty()) out.push_back({DiffWord::kAdded, after});
        return out;
    }
    dtl::Diff<std::string, std::vector<std::string>> diff(a, b);
    diff.compose();
    for (const auto& [word, info] : diff.getSes().getSequence()) {
        const DiffWord::Kind kind = info.type == dtl::SES_DELETE ? DiffWord::kRemoved
                                    : info.type == dtl::SES_ADD  ? DiffWord::kAdded
                                                                 : DiffWord::kSame;
        // Neighbours of one kind join: one mark for a run of words.
        if (!out.empty() && out.back().kind == kind)
            out.back().text += word;
        else
            out.push_back({kind, word});
    }
    return out;
}

std::string WordMarks(const std::vector<DiffWord>& words) {
    std::string out;
    for (const DiffWord& w : words) {
        // Marks that meet are kept apart by a blank, as wdiff shows them (not between
        // characters of a script written without blanks).
        if (w.kind == DiffWord::kAdded && out.size() > 2 && out.compare(out.size() - 2, 2, "-]") == 0 &&
            static_cast<unsigned char>(out[out.size() - 3]) < 0x80)
            out += ' ';
        if (w.kind == DiffWord::kSame) {
            out += w.text;
            continue;
        }
        // The blanks after a changed run stay outside its marks.
        const std::size_t end = w.text.find_last_not_of(" \t") + 1;
        out += (w.kind == DiffWord::kRemoved ? "[-" : "{+") + w.text.substr(0, end) +
               (w.kind == DiffWord::kRemoved ? "-]" : "+}") + w.text.substr(end);
    }
    return out;
}

std::vector<ShownLine> ShownChanges(const std::vector<DiffLine>& diff, bool words, bool withSame,
                                    const WordBounds& bounds) {
    std::vector<ShownLine> shown;
    const auto deadline = std::chrono::steady_clock::now() + bounds.time;
    std::size_t spent = 0;  // words given to word diffs so far
    std::size_t i = 0;
    while (i < diff.size()) {
        if (diff[i].kind == DiffLine::kSame) {
            if (withSame) shown.push_back({ShownLine::kSame, diff[i].text, {}});
            ++i;
            continue;
        }
        std::size_t removedEnd = i;
        while (removedEnd < diff.size() && diff[removedEnd].kind == DiffLine::kRemoved) ++removedEnd;
        std::size_t addedEnd = removedEnd;
        while (addedEnd < diff.size() && diff[addedEnd].kind == DiffLine::kAdded) ++addedEnd;
        std::size_t pairs = words ? std::min(removedEnd - i, addedEnd - removedEnd) : 0;
        for (std::size_t k = 0; k < pairs; ++k) {
            const std::string& before = diff[i + k].text;
            const std::string& after = diff[removedEnd + k].text;
            const std::size_t cost = WordCount(before) + WordCount(after);
            if (spent + cost > bounds.words || std::chrono::steady_clock::now() >= deadline) {
                pairs = k;  // the rest of this run, and the runs after it, whole
                words = false;
                break;
            }
            spent += cost;
            shown.push_back({ShownLine::kChanged, after, DiffWords(before, after)});
        }
        for (std::size_t k = i + pairs; k < removedEnd; ++k)
            shown.push_back({ShownLine::kRemoved, diff[k].text, {}});
        for (std::size_t k = removedEnd + pairs; k < addedEnd; ++k)
            shown.push_back({ShownLine::kAdded, diff[k].text, {}});
        i = addedEnd;
    }
    return shown;
}

std::string ShownText(const ShownLine& line) {
    switch (line.kind) {
        case ShownLine::kRemoved:
            return "- " + line.text;
        case ShownLine::kAdded:
            return "+ " + line.text;
        case ShownLine::kSame:
            return "  " + line.text;
        default:
            return "~ " + WordMarks(line.words);
    }
}

}  // namespace content
}  // namespace sentrel
