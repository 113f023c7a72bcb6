#pragma once
#include "model/WatchRow.h"

namespace sentrel {

/// What a subscriber is told. Every change of a row's text, colour or size comes as
/// RowChanged; the others name the transitions that alert.
struct WatchEvent {
    enum Kind {
        RowChanged,   ///< redraw the row
        RowsChanged,  ///< rows were added, removed or reordered
        Marked,       ///< a change was seen (each one, also on a row already marked)
        Unmarked,     ///< the user saw the change
        Failing,      ///< the row crossed `failafter` failed probes
        Recovered,    ///< a good probe after Failing
        SizeStored,   ///< the stored size was measured anew
        Ended,        ///< the row's watcher ended
        Quiet,        ///< a text row changed, meeting none of its conditions: kept, not told
    };
    Kind kind;
    RowId id = 0;
    bool bNewMark = false;  ///< Marked: the row was not marked before
};

}  // namespace sentrel
