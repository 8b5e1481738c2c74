#include "dsc/DscInstance.h"

#include <string.h>

#include "cmdline/RapidJson.h"
#include "framework/afxcoll.h"
#include "system/ShownText.h"

namespace
{
// Members of the schema that the resource reports and never takes. dsc config export copies what
// export printed into a document, and a get's output is fed to test: such a desired state holds
// them, and they are read past unheeded.
const char* const s_reportedMembers[] = { "_inDesiredState", "_restartRequired", "remappedTo" };
// The deepest they nest as the resource reports them: _restartRequired's array of objects.
const int kReportedDepth = 2;

bool Equals(const char* psz, rapidjson::SizeType cch, const char* pszWord)
{
    return strlen(pszWord) == cch && memcmp(psz, pszWord, cch) == 0;
}

// The table's names are ASCII, so a byte of UTF-8 equals their character or is no part of a match.
bool EqualsName(const char* psz, rapidjson::SizeType cch, const wchar_t* pszName)
{
    rapidjson::SizeType i = 0;
    for (; i < cch && pszName[i] != L'\0'; ++i)
    {
        if (static_cast<unsigned char>(psz[i]) != pszName[i])
            return false;
    }
    return i == cch && pszName[i] == L'\0';
}

// A name or value from the input as an error quotes it: valid UTF-8 by now, but from outside, so
// cut short and with nothing that could steer the console it may land in. A \u0000 in it is shown,
// not taken for its end.
CString Quoted(const char* psz, rapidjson::SizeType cch)
{
    CByteArray wide;
    const int cchWide = cch == 0 ? 0 : ::MultiByteToWideChar(CP_UTF8, 0, psz, static_cast<int>(cch), nullptr, 0);
    if (cchWide <= 0)
        return QuotedText(L"", 0);
    wide.SetSize(static_cast<INT_PTR>(cchWide * sizeof(WCHAR)));
    const LPWSTR pszWide = reinterpret_cast<LPWSTR>(wide.GetData());
    ::MultiByteToWideChar(CP_UTF8, 0, psz, static_cast<int>(cch), pszWide, cchWide);
    return QuotedText(pszWide, static_cast<size_t>(cchWide));
}

// Follows the parse event by event and stops it at the first thing that is no instance. Nothing
// below a member's value is ever entered: an object or array there is refused as it starts.
class CInstanceHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, CInstanceHandler>
{
public:
    explicit CInstanceHandler(DscDesiredState& desired) : m_desired(desired) {}

    bool Null() { return m_nIgnored > 0 ? Ignored() : Refuse(L"null"); }
    bool Bool(bool b) { return m_nIgnored > 0 ? Ignored() : Refuse(b ? L"true" : L"false"); }
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return m_nIgnored > 0 ? Ignored() : Refuse(L"a number"); }
    bool StartArray() { return m_nIgnored > 0 ? EnterIgnored() : Refuse(L"an array"); }
    bool EndArray(rapidjson::SizeType) { return LeaveIgnored(); }
    bool StartObject()
    {
        if (m_nIgnored > 0)
            return EnterIgnored();
        if (m_bInObject)
            return Refuse(L"an object");
        m_bInObject = true;
        return true;
    }
    bool EndObject(rapidjson::SizeType) { return m_nIgnored > 0 ? LeaveIgnored() : true; }

    bool Key(const char* psz, rapidjson::SizeType cch, bool)
    {
        if (m_nIgnored > 1)
            return true;
        for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
        {
            if (!EqualsName(psz, cch, CKeyTable::At(nRow).pszName))
                continue;
            if ((m_desired.managed & CKeyTable::Bit(nRow)) != 0)
                return Fail(L"The member " + Quoted(psz, cch) + L" is given twice.");
            m_desired.managed |= CKeyTable::Bit(nRow);
            m_nRow = static_cast<int>(nRow);
            m_strMember = Quoted(psz, cch);
            return true;
        }
        for (const char* pszReported : s_reportedMembers)
        {
            if (Equals(psz, cch, pszReported))
            {
                m_nIgnored = 1;
                m_strMember = Quoted(psz, cch);
                return true;
            }
        }
        return Fail(L"Unknown member " + Quoted(psz, cch) +
                    L": the members are the keys the schema lists (LWin, RWin, CapsLock, LCtrl, Apps, RCtrl, LAlt, RAlt and "
                    L"more; /dsc schema prints them), each \"disabled\" or \"enabled\".");
    }

    bool String(const char* psz, rapidjson::SizeType cch, bool)
    {
        if (m_nIgnored > 0)
            return Ignored();
        if (!m_bInObject)
            return Refuse(L"a string");
        const KeySet bit = CKeyTable::Bit(static_cast<size_t>(m_nRow));
        if (Equals(psz, cch, "disabled"))
            m_desired.disabled |= bit;
        else if (Equals(psz, cch, "remapped"))
            m_desired.remapped |= bit;
        else if (!Equals(psz, cch, "enabled"))
            return Refuse(Quoted(psz, cch));
        return true;
    }

    // Why the parse was stopped, when the handler stopped it.
    CString m_strError;

private:
    bool Fail(const CString& strError)
    {
        m_strError = strError;
        return false;
    }
    // A value where none of its kind belongs: the instance itself, or a key's state.
    bool Refuse(const CString& strWhat)
    {
        if (!m_bInObject)
            return Fail(L"The instance must be a JSON object, such as {\"LWin\":\"disabled\"}, not " + strWhat + L".");
        return Fail(m_strMember + L" must be \"disabled\" or \"enabled\", not " + strWhat + L".");
    }

    // A scalar ends an ignored member's value when it is the value itself.
    bool Ignored()
    {
        if (m_nIgnored == 1)
            m_nIgnored = 0;
        return true;
    }
    bool EnterIgnored()
    {
        if (m_nIgnored > kReportedDepth)
            return Fail(m_strMember + L" nests deeper than the resource ever reports it.");
        ++m_nIgnored;
        return true;
    }
    bool LeaveIgnored()
    {
        if (--m_nIgnored == 1)
            m_nIgnored = 0;
        return true;
    }

    DscDesiredState& m_desired;
    bool m_bInObject = false;
    // 0: not inside a member the resource only reports; 1: at its value; more: inside that value.
    int m_nIgnored = 0;
    int m_nRow = 0;
    CString m_strMember;
};

LPCWSTR ParseErrorText(rapidjson::ParseErrorCode code)
{
    switch (code)
    {
    case rapidjson::kParseErrorDocumentEmpty:
        return L"there is no value";
    case rapidjson::kParseErrorDocumentRootNotSingular:
        return L"something follows the instance";
    case rapidjson::kParseErrorValueInvalid:
        return L"an invalid value";
    case rapidjson::kParseErrorObjectMissName:
        return L"a member without a name";
    case rapidjson::kParseErrorObjectMissColon:
        return L"a member name without a colon after it";
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket:
        return L"a member without a comma or closing brace after it";
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
        return L"an invalid \\u escape in a string";
    case rapidjson::kParseErrorStringEscapeInvalid:
        // RapidJSON says so of a control character in a string, too.
        return L"an invalid escape or a control character in a string";
    case rapidjson::kParseErrorStringMissQuotationMark:
        return L"a string without its closing quote";
    case rapidjson::kParseErrorNumberTooBig:
        return L"a number out of range";
    case rapidjson::kParseErrorStringInvalidEncoding:
        return L"bytes that are not UTF-8";
    default:
        return L"text that is not JSON";
    }
}
}  // namespace

BOOL ReadDscInstance(const BYTE* pText, size_t cbText, DscDesiredState& desired, CString& strError)
{
    desired = DscDesiredState();
    strError.Empty();
    const char* psz = reinterpret_cast<const char*>(pText);
    if (cbText >= 3 && memcmp(psz, "\xEF\xBB\xBF", 3) == 0)
    {
        psz += 3;
        cbText -= 3;
    }
    // The parser reads up to a NUL, which would hide whatever follows it.
    if (const void* pNul = memchr(psz, 0, cbText))
    {
        strError.Format(L"The input holds a NUL byte at byte %u: the instance must be JSON text in UTF-8, not UTF-16.",
                        static_cast<unsigned>(static_cast<const char*>(pNul) - psz));
        return FALSE;
    }
    // RapidJSON checks a sequence's trailing bytes without looking for the end: a lead byte last
    // would have it read up to three bytes past the terminator, so there are four NULs.
    CByteArray text;
    text.SetSize(static_cast<INT_PTR>(cbText + 4));
    memcpy(text.GetData(), psz, cbText);
    memset(text.GetData() + cbText, 0, 4);
    rapidjson::StringStream stream(reinterpret_cast<const char*>(text.GetData()));

    CInstanceHandler handler(desired);
    CJsonReader reader;
    // Numbers are handed over as text: none is a state, and none is worth converting.
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag>(stream, handler);
    if (!result.IsError())
        return TRUE;
    if (result.Code() == rapidjson::kParseErrorTermination)
        strError = handler.m_strError;
    else
        strError.Format(L"The input is not a JSON instance: %s at byte %u.", ParseErrorText(result.Code()),
                        static_cast<unsigned>(result.Offset()));
    desired = DscDesiredState();
    return FALSE;
}
