#pragma once
#include <wx/dataview.h>

#include "model/WatchSession.h"

namespace sentrel {

/// What the URL list shows of the run's model: one row per page, columns URL, note,
/// status and the (hidden) byte count. The view is a native list (GtkTreeView on GTK),
/// so screen readers read its cells.
class CUrlListModel : public wxDataViewVirtualListModel {
  public:
    enum Column { kUrl, kNote, kStatus, kSize, kColumns };

    explicit CUrlListModel(const WatchSession& session)
        : wxDataViewVirtualListModel(0), m_session(session) {}

    /// A row's text colour: red while marked, the failure colour while failing, else none.
    static wxColour RowColour(const WatchRow& row);
    static wxString CellText(const WatchRow& row, unsigned column);

    unsigned GetColumnCount() const override { return kColumns; }
    wxString GetColumnType(unsigned) const override { return "string"; }
    void GetValueByRow(wxVariant& value, unsigned row, unsigned column) const override;
    bool SetValueByRow(const wxVariant&, unsigned, unsigned) override { return false; }
    bool GetAttrByRow(unsigned row, unsigned column, wxDataViewItemAttr& attr) const override;

  private:
    const WatchSession& m_session;
};

}  // namespace sentrel
