#pragma once
#include <wx/dataview.h>
#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

#include "LineDiff.h"
#include "UrlStore.h"

namespace sentrel {

/// "查看变化": what changed between a text row's last two texts, as kept in the store. A
/// window of its own beside the main one (it blocks nothing), with a native list that
/// screen readers read: removed lines red and marked "−", added lines green and "+".
class CChangesDlg : public wxDialog {
  public:
    /// `open` opens the page in the browser (打开网页).
    CChangesDlg(wxWindow* parent, const std::string& url, const PageTexts& texts,
                std::function<void()> open);

    /// The list's lines as shown ("− old", "+ new", "  same").
    std::vector<std::string> Lines() const;
    wxDataViewCtrl* List() const { return m_list; }

  private:
    class Model;
    wxDataViewCtrl* m_list = nullptr;
    wxObjectDataPtr<Model> m_model;
};

}  // namespace sentrel
