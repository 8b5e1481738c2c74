// What the main dialog shows and holds of the layout, to see that a side trip left it as it was.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "DialogDriver.h"
#include "dialog/MorvexDisablerDlg.h"

struct DialogState
{
    std::vector<bool> checked;  // the four key boxes as shown
    std::vector<BOOL> members;  // the members bound to them
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    BOOL bChangesPending = FALSE;

    bool operator==(const DialogState& other) const
    {
        return checked == other.checked && members == other.members && entries == other.entries &&
               bChangesPending == other.bChangesPending;
    }
};

void PrintTo(const DialogState& state, std::ostream* pStream);

// Read between two of the dialog's messages.
DialogState StateOf(CUser& user, CMorvexDisablerDlg& dlg);
