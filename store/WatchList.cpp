#include "store/WatchList.h"

#include "base/Settings.h"
#include "base/Translate.h"
#include "content/PageText.h"
#include "content/TextHash.h"
#include "model/AlertRules.h"
#include "platform/TextRules.h"
#include "store/UrlTextFile.h"

namespace sentrel {

std::vector<UrlRow> StoredRows(const WatchSession& session) {
    std::vector<UrlRow> rows;
    rows.reserve(session.Rows().size());
    for (const WatchRow& row : session.Rows()) {
        UrlRow stored{row.url, row.note, std::to_string(row.nStoredSize), row.etag,
                      row.lastModified};
        if (row.compare.Text()) {
            stored.compare = CompareOptions::ModeName(CompareOptions::kText);
            stored.select = row.compare.select;
            stored.ignore = row.compare.ignore;
            if (row.compare.render) stored.render = "1";
            if (row.nStoredHash != 0) stored.textHash = content::HashToHex(row.nStoredHash);
        }
        if (row.nInterval > 0) stored.interval = std::to_string(row.nInterval);
        if (row.compare.Text()) stored.alertIf = row.alertIf;
        stored.proxy = row.access.proxy;
        stored.headers = StoredHeaders(row.access.headers);
        if (row.compare.Text() && row.compare.render) stored.session = row.access.session;
        rows.push_back(std::move(stored));
    }
    return rows;
}

bool CheckRow(std::string& url, std::string& note, const CompareOptions& compare,
              std::string& problem, const std::string& alertIf) {
    url = CleanUrlText(url);
    note = CleanNoteText(note);
    problem.clear();
    std::size_t chars = 0;
    for (unsigned char c : url) chars += (c & 0xC0) != 0x80;
    if (url.empty())
        problem = Tr("请输入网址！");
    else if (chars > kMaxUrlChars)
        problem = Fill(Tr("网址过长，不能超过 {0} 个字符！"), {std::to_string(kMaxUrlChars)});
    else if (compare.Reader(&problem) && compare.Text())
        AlertRules().Parse(alertIf, problem);
    return problem.empty();
}

bool ReadPageInterval(const std::string& text, int& seconds, std::string& problem) {
    seconds = 0;
    std::size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return true;
    const std::string digits = text.substr(first, last - first + 1);
    const bool number = digits.size() <= 9 &&
                        digits.find_first_not_of("0123456789") == std::string::npos;
    const long long value = number ? std::stoll(digits) : 0;
    if (!number || !keys::kInterval.InBounds(value)) {
        problem = Fill(Tr("间隔须为 {0} 到 {1} 之间的秒数，或留空为默认。"),
                       {std::to_string(keys::kInterval.least), std::to_string(keys::kInterval.most)});
        return false;
    }
    seconds = static_cast<int>(value);
    return true;
}

namespace {
// A stored row added with its way of comparing, its size and validators.
RowId AddStoredCompare(WatchSession& session, const UrlRow& row) {
    CompareOptions compare;
    std::uint64_t hash = 0;
    if (CompareOptions::ModeNamed(row.compare, compare.mode) && compare.Text()) {
        compare.select = row.select;
        compare.ignore = row.ignore;
        compare.render = row.render == "1";
        // A text row without a readable hash reads its next text as the reference.
        if (!content::HashFromHex(row.textHash, hash))
            return session.AddRow(row.url, row.title, 0, {}, {}, compare);
    }
    return session.AddRow(row.url, row.title, AtoiClamped(row.kbsize.c_str()), row.etag,
                          row.lastModified, compare, hash);
}
}  // namespace

namespace {
// A stored interval as the program will use it: whole seconds brought within the bounds;
// one that is no whole number (a file edited by hand: "1e9", "60s") is refused, and the
// program's interval stands.
int StoredInterval(const std::string& text) {
    const std::string digits = TrimBlanks(text);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) return 0;  // 0: the program's
    return digits.size() - first > 9 ? keys::kInterval.most : keys::kInterval.Clamp(std::stoi(digits));
}
}  // namespace

RowId AddStoredRow(WatchSession& session, const UrlRow& row) {
    const RowId id = AddStoredCompare(session, row);
    session.SetInterval(id, StoredInterval(row.interval));
    if (!row.compare.empty()) session.SetAlertIf(id, row.alertIf);
    session.SetAccess(id, PageAccess{row.proxy, HeaderLines(row.headers), row.render == "1" ? row.session : ""});
    return id;
}

void StoreTextKeeper::Tell(const std::string& text) {
    if (m_fnTell) m_fnTell(text);
}

PreviousText StoreTextKeeper::Previous(const std::string& url) {
    PreviousText previous;
    PageTexts texts;
    std::string error;
    if (!m_store.LoadTexts(url, texts, error) ||
        !m_store.AlertBase(url, previous.base, previous.bHaveBase, error)) {
        Tell(Fill(Tr("无法保存网页文字：{0}"), {error}));
        return PreviousText();
    }
    previous.bHave = texts.lastTime != 0;
    previous.text = std::move(texts.last);
    return previous;
}

bool StoreTextKeeper::KeepVersion(const std::string& url, const std::string& text, std::time_t when,
                                  const Decide& decide) {
    std::string error;
    int dropped = 0;
    bool kept = false;
    VersionNote note;
    auto noted = [&](const PreviousText& previous, VersionNote& out) {
        const bool keep = decide(previous, out);
        note = out;
        return keep;
    };
    if (!m_store.KeepVersion(url, text, when, noted, kept, error, &dropped))
        Tell(Fill(Tr("无法保存网页文字：{0}"), {error}));
    // Said once a page: a page rewritten at every probe would say it at every probe.
    bool first = false;
    if (dropped > 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        first = m_toldFull.insert(url).second;
    }
    if (first)
        Tell(Fill(Tr("{0} 的版本已超过 {1} MB：最早的版本不再保留"),
                  {WithoutPassword(url), std::to_string(note.maxBytes >> 20)}));
    return kept;
}

bool SaveList(const WatchSession& session, const UrlStore& store, std::string& error) {
    return store.Save(StoredRows(session), error);
}

}  // namespace sentrel
