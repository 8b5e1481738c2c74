#include "cmdline/JsonObject.h"

void CJsonObject::AddString(LPCWSTR pszName, LPCWSTR pszValue)
{
    AddMember(pszName, pszValue != nullptr ? Quoted(pszValue) : CString(L"null"));
}

void CJsonObject::AddNumber(LPCWSTR pszName, int nValue)
{
    CString strNumber;
    strNumber.Format(L"%d", nValue);
    AddMember(pszName, strNumber);
}

void CJsonObject::AddBool(LPCWSTR pszName, BOOL bValue)
{
    AddMember(pszName, bValue ? L"true" : L"false");
}

void CJsonObject::AddNull(LPCWSTR pszName)
{
    AddMember(pszName, L"null");
}

void CJsonObject::AddObject(LPCWSTR pszName, const CJsonObject& object)
{
    AddMember(pszName, object.Text());
}

CString CJsonObject::Text() const
{
    return L"{" + m_strMembers + L"}";
}

void CJsonObject::AddMember(LPCWSTR pszName, LPCWSTR pszJson)
{
    if (!m_strMembers.IsEmpty())
        m_strMembers += L",";
    m_strMembers += Quoted(pszName);
    m_strMembers += L":";
    m_strMembers += pszJson;
}

CString CJsonObject::Quoted(LPCWSTR pszText)
{
    CString strQuoted(L"\""), strCharacter;
    for (LPCWSTR pch = pszText; *pch != L'\0'; ++pch)
    {
        // A quote and a backslash are escaped with a backslash, control characters by their number.
        if (*pch == L'"' || *pch == L'\\')
            strCharacter.Format(L"\\%c", *pch);
        else if (*pch < 0x20)
            strCharacter.Format(L"\\u%04x", static_cast<unsigned>(*pch));
        else
            strCharacter.Format(L"%c", *pch);
        strQuoted += strCharacter;
    }
    strQuoted += L"\"";
    return strQuoted;
}
