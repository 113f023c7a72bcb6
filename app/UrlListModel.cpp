#include "app/UrlListModel.h"

#include "controls/WxText.h"

namespace sentrel {

wxColour CUrlListModel::RowColour(const WatchRow& row) {
    if (row.bMarked) return wxColour(255, 0, 0);
    // Amber: apart from the black of a quiet row and the red of a change.
    if (row.status == RowStatus::Failing) return wxColour(176, 96, 0);
    return wxColour(0, 0, 0);
}

wxString CUrlListModel::CellText(const WatchRow& row, unsigned column) {
    switch (column) {
        case kUrl:
            return U(row.url);
        case kNote:
            return U(row.note);
        case kStatus:
            return U(row.StatusText());
        case kSize:
            return wxString::Format("%d", row.nStoredSize);
        default:
            return wxString();
    }
}

void CUrlListModel::GetValueByRow(wxVariant& value, unsigned row, unsigned column) const {
    if (row >= static_cast<unsigned>(m_session.RowCount())) {
        value = wxString();
        return;
    }
    value = CellText(m_session.Row(static_cast<int>(row)), column);
}

bool CUrlListModel::GetAttrByRow(unsigned row, unsigned, wxDataViewItemAttr& attr) const {
    if (row >= static_cast<unsigned>(m_session.RowCount())) return false;
    // The colour covers the whole row; the background is the list's.
    attr.SetColour(RowColour(m_session.Row(static_cast<int>(row))));
    return true;
}

}  // namespace sentrel
