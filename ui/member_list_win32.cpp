// The member list in the stub: the main dialog's sorted, multiple-selection
// list box, driven with list-box messages. Each item's data is its
// member's ordinal.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

static LRESULT Send(MemberList list, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW((HWND)list, message, wParam, lParam);
}

MemberList MemberListOf(WindowHandle dialog, int listId) { return GetDlgItem((HWND)dialog, listId); }

void ClearMemberList(MemberList list) { Send(list, LB_RESETCONTENT, 0, 0); }

void AddMemberName(MemberList list, const char* name, uint32_t ordinal) {
    WCHAR* wide = WideCopy(name);
    LRESULT index = wide ? Send(list, LB_ADDSTRING, 0, (LPARAM)wide) : LB_ERR;
    if (index >= 0) Send(list, LB_SETITEMDATA, (WPARAM)index, (LPARAM)ordinal);
    ReleaseBlock(wide);
}

// The list box sorts each item into place as it is added.
void EndMemberListing(MemberList) {}

uint32_t MemberItemData(MemberList list, int32_t index) {
    return (uint32_t)Send(list, LB_GETITEMDATA, (WPARAM)index, 0);
}

void SetMemberItemData(MemberList list, int32_t index, uint32_t data) {
    Send(list, LB_SETITEMDATA, (WPARAM)index, (LPARAM)data);
}

bool IsMemberSelected(MemberList list, int32_t index) { return Send(list, LB_GETSEL, index, 0) > 0; }

void SetMemberSelected(MemberList list, int32_t index, bool selected) { Send(list, LB_SETSEL, selected, index); }

int32_t CountMembers(MemberList list) { return (int32_t)Send(list, LB_GETCOUNT, 0, 0); }

int32_t CountSelectedMembers(MemberList list) { return (int32_t)Send(list, LB_GETSELCOUNT, 0, 0); }
