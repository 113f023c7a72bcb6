#include "app/ChangesDlg.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "base/ThreadMessages.h"
#include "controls/WxPost.h"
#include "controls/WxText.h"
#include "platform/Files.h"

namespace sentrel {

namespace {

std::string TimeText(std::time_t when) {
    if (when == 0) return Tr("（无）");
    return FormatLocalTime(when, "%Y-%m-%d %H:%M:%S");
}

// How a version came to be kept, in the list's last column.
std::string HowKept(const TextVersion& v) {
    switch (v.kind) {
        case VersionKind::First:
            return Tr("首个版本");
        case VersionKind::Quiet:
            return Tr("未提醒（不满足提醒条件）");
        case VersionKind::Told:
            break;
    }
    return v.because.empty() ? Tr("已提醒") : Tr("条件：") + v.because;
}

std::string CountsText(const TextVersion& v) {
    if (v.kind == VersionKind::First) return std::string();
    auto count = [](int n) { return n < 0 ? std::string("?") : std::to_string(n); };
    return "+" + count(v.nAdded) + " −" + count(v.nRemoved);
}

// One line of the diff as the list shows it.
struct ShownRow {
    content::DiffLine::Kind kind;
    std::string text;
    std::string markup;  // the line with its changed words highlighted; empty: none
};

// Text as markup shows it.
std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\'': out += "&apos;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// A changed line's markup: its words of `kind` highlighted, the others as they are.
std::string WordsMarkup(const std::vector<content::DiffWord>& words, content::DiffWord::Kind kind,
                        const char* mark) {
    std::string markup = Escaped(mark);
    for (const content::DiffWord& w : words) {
        if (w.kind == content::DiffWord::kSame)
            markup += Escaped(w.text);
        else if (w.kind == kind) {
            // The blanks after the words stay outside the highlight.
            const std::size_t end = w.text.find_last_not_of(" \t") + 1;
            markup += std::string("<span bgcolor='") +
                      (kind == content::DiffWord::kRemoved ? "#ffc4c4" : "#b8f0b8") + "'>" +
                      Escaped(w.text.substr(0, end)) + "</span>" + Escaped(w.text.substr(end));
        }
    }
    return markup;
}

// Every line of both texts; a line that changed shows as its old line and its new one,
// each with its changed words highlighted.
std::vector<ShownRow> ShownRows(const std::string& before, const std::string& after) {
    std::vector<ShownRow> rows;
    for (const content::ShownLine& line :
         content::ShownChanges(content::DiffLines(before, after), true, true)) {
        switch (line.kind) {
            case content::ShownLine::kSame:
                rows.push_back({content::DiffLine::kSame, line.text, {}});
                break;
            case content::ShownLine::kRemoved:
                rows.push_back({content::DiffLine::kRemoved, line.text, {}});
                break;
            case content::ShownLine::kAdded:
                rows.push_back({content::DiffLine::kAdded, line.text, {}});
                break;
            case content::ShownLine::kChanged: {
                std::string old;
                for (const content::DiffWord& w : line.words)
                    if (w.kind != content::DiffWord::kAdded) old += w.text;
                rows.push_back({content::DiffLine::kRemoved, old,
                                WordsMarkup(line.words, content::DiffWord::kRemoved, "− ")});
                rows.push_back({content::DiffLine::kAdded, line.text,
                                WordsMarkup(line.words, content::DiffWord::kAdded, "+ ")});
                break;
            }
        }
    }
    return rows;
}

}  // namespace

// A comparison asked of the dialog's thread, and what it made.
struct CChangesDlg::Comparison {
    int generation = 0;
    int from = 0, to = 0;
    std::vector<ShownRow> rows;
};

// The diff's lines, one row each, coloured by their kind; the rows are made when shown.
class CChangesDlg::Model : public wxDataViewVirtualListModel {
  public:
    Model() : wxDataViewVirtualListModel(0) {}
    void Set(std::vector<ShownRow> rows) {
        m_rows = std::move(rows);
        Reset(static_cast<unsigned>(m_rows.size()));
    }

    std::string Text(unsigned row) const {
        const ShownRow& line = m_rows[row];
        return Mark(line.kind) + line.text;
    }
    std::string Markup(unsigned row) const {
        const ShownRow& line = m_rows[row];
        return line.markup.empty() ? Escaped(Text(row)) : line.markup;
    }
    unsigned int GetColumnCount() const override { return 1; }
    wxString GetColumnType(unsigned int) const override { return "string"; }
    void GetValueByRow(wxVariant& value, unsigned row, unsigned) const override {
        value = U(Markup(row));
    }
    bool SetValueByRow(const wxVariant&, unsigned, unsigned) override { return false; }
    bool GetAttrByRow(unsigned row, unsigned, wxDataViewItemAttr& attr) const override {
        switch (m_rows[row].kind) {
            case content::DiffLine::kRemoved:
                attr.SetColour(wxColour(0xC0, 0x00, 0x00));
                return true;
            case content::DiffLine::kAdded:
                attr.SetColour(wxColour(0x00, 0x80, 0x00));
                return true;
            case content::DiffLine::kSame:
                break;
        }
        return false;
    }
    unsigned Count() const { return static_cast<unsigned>(m_rows.size()); }

  private:
    static const char* Mark(content::DiffLine::Kind kind) {
        return kind == content::DiffLine::kRemoved ? "− " : kind == content::DiffLine::kAdded ? "+ " : "  ";
    }
    std::vector<ShownRow> m_rows;
};

CChangesDlg::CChangesDlg(wxWindow* parent, const std::string& url, std::vector<TextVersion> versions,
                         TextOf textOf, std::function<void()> open)
    : wxDialog(parent, wxID_ANY, TrW("查看变化"), wxDefaultPosition, wxSize(720, 560),
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER),
      m_versions(std::move(versions)),
      m_textOf(std::move(textOf)) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* urlText = new wxStaticText(this, wxID_ANY, U(Tr("网址：") + url), wxDefaultPosition,
                                     wxDefaultSize, wxST_ELLIPSIZE_MIDDLE);
    sizer->Add(urlText, 0, wxEXPAND | wxALL, 8);
    sizer->Add(new wxStaticText(this, wxID_ANY, TrW("保存的版本（选择两个进行比较）：")), 0,
               wxLEFT | wxRIGHT, 8);
    m_versionList = new wxDataViewListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 150),
                                           wxDV_MULTIPLE | wxDV_ROW_LINES);
    m_versionList->SetName(TrW("保存的版本"));
    m_versionList->AppendTextColumn(TrW("版本"), wxDATAVIEW_CELL_INERT, 60);
    m_versionList->AppendTextColumn(TrW("时间"), wxDATAVIEW_CELL_INERT, 160);
    m_versionList->AppendTextColumn(TrW("变化"), wxDATAVIEW_CELL_INERT, 90);
    m_versionList->AppendTextColumn(TrW("提醒"), wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE);
    // Newest first, as people look for what changed last.
    for (auto v = m_versions.rbegin(); v != m_versions.rend(); ++v) {
        wxVector<wxVariant> cells;
        for (const std::string& cell : {std::to_string(v->n), TimeText(v->time), CountsText(*v), HowKept(*v)})
            cells.push_back(wxVariant(U(cell)));
        m_versionList->AppendItem(cells);
    }
    sizer->Add(m_versionList, 0, wxEXPAND | wxALL, 8);
    m_compared = new wxStaticText(this, wxID_ANY, wxString());
    sizer->Add(m_compared, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);

    m_model = new Model();
    m_list = new wxDataViewCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxDV_NO_HEADER | wxDV_ROW_LINES);
    m_list->AssociateModel(m_model.get());
    auto* renderer = new wxDataViewTextRenderer("string", wxDATAVIEW_CELL_INERT);
    renderer->EnableMarkup();
    m_list->AppendColumn(new wxDataViewColumn(TrW("变化"), renderer, 0, wxCOL_WIDTH_AUTOSIZE, wxALIGN_LEFT));
    m_list->SetName(TrW("变化"));
    sizer->Add(m_list, 1, wxEXPAND | wxALL, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* openButton = new wxButton(this, wxID_ANY, TrW("打开网页"));
    openButton->Bind(wxEVT_BUTTON, [open](wxCommandEvent&) {
        if (open) open();
    });
    buttons->Add(openButton, 0, wxRIGHT, 8);
    buttons->Add(new wxButton(this, wxID_CLOSE, TrW("关闭")));
    sizer->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 8);
    SetSizer(sizer);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
    SetEscapeId(wxID_CLOSE);
    // Modeless: it destroys itself when closed.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    m_versionList->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, [this](wxDataViewEvent&) { OnVersionsChosen(); });
    m_pDone = MakeWxPostTarget<std::shared_ptr<Comparison>>(this, WM_CHANGES_COMPARED);
    Bind(
        wxEVT_THREAD, [this](wxThreadEvent& e) { ShowComparison(*e.GetPayload<std::shared_ptr<Comparison>>()); },
        WM_CHANGES_COMPARED);
    m_comparer = std::thread([this] { CompareLoop(); });

    const int count = static_cast<int>(m_versions.size());
    if (count >= 2) {
        Compare(count - 1, count);
    } else {
        m_model->Set({{content::DiffLine::kSame, Tr("（还没有记录到变化）"), {}}});
        if (count == 1) m_compared->SetLabel(U(Tr("只有一个版本：") + TimeText(m_versions[0].time)));
    }
}

CChangesDlg::~CChangesDlg() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bClosing = true;
    }
    m_cv.notify_all();
    m_pDone->Close();  // nothing the thread makes reaches a dialog that is gone
    m_comparer.join();  // within a comparison's bounds
}

void CChangesDlg::Compare(int from, int to) {
    const int count = static_cast<int>(m_versions.size());
    if (from < 1 || to < 1 || from > count || to > count) return;
    if (from > to) std::swap(from, to);
    // Selecting shows it; the rows are newest first.
    wxDataViewItemArray chosen;
    for (int n : {from, to}) chosen.push_back(m_versionList->RowToItem(count - n));
    {
        wxEventBlocker quiet(m_versionList, wxEVT_DATAVIEW_SELECTION_CHANGED);
        m_versionList->SetSelections(chosen);
    }
    const TextVersion& a = m_versions[from - 1];
    const TextVersion& b = m_versions[to - 1];
    m_compared->SetLabel(U(Fill(Tr("比较：第 {0} 版（{1}）→ 第 {2} 版（{3}）"),
                                {std::to_string(a.n), TimeText(a.time), std::to_string(b.n), TimeText(b.time)})));
    m_model->Set({{content::DiffLine::kSame, Tr("正在比较…"), {}}});
    auto asked = std::make_shared<Comparison>();
    asked->generation = ++m_nAsked;
    asked->from = from;
    asked->to = to;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pAsked = std::move(asked);  // one asked before and not yet taken is passed over
    }
    m_cv.notify_all();
}

// The dialog's thread: reads the two texts and compares them, the latest asked each time.
void CChangesDlg::CompareLoop() {
    for (;;) {
        std::shared_ptr<Comparison> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait(lock, [this] { return m_bClosing || m_pAsked; });
            if (m_bClosing) return;
            job = std::move(m_pAsked);
        }
        std::string before, after, error;
        if (job->from == job->to)
            job->rows = {{content::DiffLine::kSame, Tr("（两个版本相同）"), {}}};
        else if (!m_textOf || !m_textOf(job->from, before, error) || !m_textOf(job->to, after, error))
            job->rows = {{content::DiffLine::kSame, Tr("无法读取网页文字：") + error, {}}};
        else
            job->rows = ShownRows(before, after);
        m_pDone->Post(std::move(job));
    }
}

void CChangesDlg::ShowComparison(const Comparison& done) {
    if (done.generation != m_nAsked) return;  // another was asked since
    m_nShown = done.generation;
    m_model->Set(done.rows);
}

void CChangesDlg::OnVersionsChosen() {
    wxDataViewItemArray chosen;
    m_versionList->GetSelections(chosen);
    const int count = static_cast<int>(m_versions.size());
    std::vector<int> ns;
    for (const wxDataViewItem& item : chosen) ns.push_back(count - m_versionList->ItemToRow(item));
    std::sort(ns.begin(), ns.end());
    if (ns.empty()) return;
    // One chosen: what it changed; more: the oldest against the newest of them.
    if (ns.size() == 1) {
        if (ns[0] > 1) Compare(ns[0] - 1, ns[0]);
        return;
    }
    Compare(ns.front(), ns.back());
}

std::vector<std::string> CChangesDlg::VersionRows() const {
    std::vector<std::string> rows;
    for (unsigned r = 0; r < static_cast<unsigned>(m_versionList->GetItemCount()); ++r) {
        std::string row;
        for (unsigned c = 0; c < 4; ++c)
            row += (c ? " | " : "") + S(m_versionList->GetTextValue(r, c));
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> CChangesDlg::Lines() const {
    std::vector<std::string> out;
    for (unsigned i = 0; i < m_model->Count(); ++i) out.push_back(m_model->Text(i));
    return out;
}

std::vector<std::string> CChangesDlg::LineMarkups() const {
    std::vector<std::string> out;
    for (unsigned i = 0; i < m_model->Count(); ++i) out.push_back(m_model->Markup(i));
    return out;
}

}  // namespace sentrel
