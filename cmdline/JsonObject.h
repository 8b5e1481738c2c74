// CJsonObject: one JSON object built member by member, as the command line prints it for scripts.
#pragma once

#include "framework/afxstr.h"

class CJsonObject
{
public:
    // A null text is JSON's null.
    void AddString(LPCWSTR pszName, LPCWSTR pszValue);
    void AddNumber(LPCWSTR pszName, int nValue);
    void AddBool(LPCWSTR pszName, BOOL bValue);
    void AddNull(LPCWSTR pszName);
    void AddObject(LPCWSTR pszName, const CJsonObject& object);

    // The object on one line, members in the order added.
    CString Text() const;

    // A text as a JSON string, quotes included: quotes, backslashes and control characters escaped,
    // everything else as is.
    static CString Quoted(LPCWSTR pszText);

private:
    void AddMember(LPCWSTR pszName, LPCWSTR pszJson);

    CString m_strMembers;
};
