#pragma once
#include <wx/dataview.h>
#include <wx/dialog.h>
#include <wx/stattext.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/PostTarget.h"
#include "content/WordDiff.h"
#include "store/TextStore.h"

namespace sentrel {

/// "查看变化": a text row's kept versions (time, lines added and removed, whether it was
/// told and by which condition), and what changed between the two chosen: the last two at
/// first. A window of its own beside the main one (it blocks nothing), with native lists
/// that screen readers read: removed lines red and marked "−", added lines green and "+",
/// the words that changed within a line highlighted. Texts are read and compared on a
/// thread of the dialog's own: a long page never holds the window.
class CChangesDlg : public wxDialog {
  public:
    /// Reads the text of version n (from 1); false with the reason. Called on the dialog's
    /// own thread.
    using TextOf = std::function<bool(int n, std::string& text, std::string& error)>;
    /// `open` opens the page in the browser (打开网页).
    CChangesDlg(wxWindow* parent, const std::string& url, std::vector<TextVersion> versions,
                TextOf textOf, std::function<void()> open);
    ~CChangesDlg() override;

    /// Shows what changed from version `from` to version `to`, both selected in the list,
    /// once it is compared.
    void Compare(int from, int to);
    /// True once the comparison asked last is shown.
    bool Compared() const { return m_nShown == m_nAsked; }

    /// The version list's rows as shown, newest first ("3 | time | +1 −1 | 条件：…").
    std::vector<std::string> VersionRows() const;
    /// The diff's lines as shown ("− old", "+ new", "  same"), and as marked up (the
    /// changed words within a line highlighted).
    std::vector<std::string> Lines() const;
    std::vector<std::string> LineMarkups() const;
    wxDataViewCtrl* List() const { return m_list; }

  private:
    class Model;
    struct Comparison;
    void OnVersionsChosen();
    void CompareLoop();
    void ShowComparison(const Comparison& done);
    std::vector<TextVersion> m_versions;
    TextOf m_textOf;
    // The comparison asked last, taken by the thread; what it made comes back as a post.
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::shared_ptr<Comparison> m_pAsked;
    bool m_bClosing = false;
    int m_nAsked = 0, m_nShown = 0;
    PostTargetPtr<std::shared_ptr<Comparison>> m_pDone;
    std::thread m_comparer;
    wxDataViewListCtrl* m_versionList = nullptr;
    wxStaticText* m_compared = nullptr;
    wxDataViewCtrl* m_list = nullptr;
    wxObjectDataPtr<Model> m_model;
};

}  // namespace sentrel
