#include "ChangesDlg.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "Files.h"
#include "WxText.h"

namespace sentrel {

namespace {

std::string TimeText(std::time_t when) {
    if (when == 0) return Tr("（无）");
    std::tm t{};
    LocalTime(when, t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
    return text;
}

}  // namespace

// The diff's lines, one row each, coloured by their kind; the rows are made when shown.
class CChangesDlg::Model : public wxDataViewVirtualListModel {
  public:
    explicit Model(std::vector<content::DiffLine> lines)
        : wxDataViewVirtualListModel(static_cast<unsigned>(lines.size())), m_lines(std::move(lines)) {}

    std::string Text(unsigned row) const {
        const content::DiffLine& line = m_lines[row];
        const char* mark = line.kind == content::DiffLine::kRemoved ? "− "
                           : line.kind == content::DiffLine::kAdded ? "+ "
                                                                    : "  ";
        return mark + line.text;
    }
    unsigned int GetColumnCount() const override { return 1; }
    wxString GetColumnType(unsigned int) const override { return "string"; }
    void GetValueByRow(wxVariant& value, unsigned row, unsigned) const override {
        value = U(Text(row));
    }
    bool SetValueByRow(const wxVariant&, unsigned, unsigned) override { return false; }
    bool GetAttrByRow(unsigned row, unsigned, wxDataViewItemAttr& attr) const override {
        switch (m_lines[row].kind) {
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
    unsigned Count() const { return static_cast<unsigned>(m_lines.size()); }

  private:
    std::vector<content::DiffLine> m_lines;
};

CChangesDlg::CChangesDlg(wxWindow* parent, const std::string& url, const PageTexts& texts,
                         std::function<void()> open)
    : wxDialog(parent, wxID_ANY, TrW("查看变化"), wxDefaultPosition, wxSize(640, 480),
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* urlText = new wxStaticText(this, wxID_ANY, U(Tr("网址：") + url), wxDefaultPosition,
                                     wxDefaultSize, wxST_ELLIPSIZE_MIDDLE);
    sizer->Add(urlText, 0, wxEXPAND | wxALL, 8);
    sizer->Add(new wxStaticText(this, wxID_ANY,
                                U(Tr("之前的文字：") + TimeText(texts.previousTime) + "    " +
                                  Tr("最新的文字：") + TimeText(texts.lastTime))),
               0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    std::vector<content::DiffLine> lines;
    if (texts.previousTime == 0)
        lines.push_back({content::DiffLine::kSame, Tr("（还没有记录到变化）")});
    else
        lines = content::DiffLines(texts.previous, texts.last);
    m_model = new Model(std::move(lines));
    m_list = new wxDataViewCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxDV_NO_HEADER | wxDV_ROW_LINES);
    m_list->AssociateModel(m_model.get());
    m_list->AppendTextColumn(TrW("变化"), 0, wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE);
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
}

std::vector<std::string> CChangesDlg::Lines() const {
    std::vector<std::string> out;
    for (unsigned i = 0; i < m_model->Count(); ++i) out.push_back(m_model->Text(i));
    return out;
}

}  // namespace sentrel
