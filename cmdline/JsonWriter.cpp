#include "cmdline/JsonWriter.h"

#include <stdlib.h>
#include <string.h>

#include "cmdline/CommandLineReport.h"
#include "cmdline/RapidJson.h"
#include "framework/afxcoll.h"

void JsonInvariantBroken()
{
    ::ExitProcess(exitFailed);
}

void* CJsonAllocator::Malloc(size_t cb)
{
    if (cb == 0)
        return nullptr;
    void* p = malloc(cb);
    if (p == nullptr)
        abort();
    return p;
}

void* CJsonAllocator::Realloc(void* pOld, size_t, size_t cbNew)
{
    if (cbNew == 0)
    {
        free(pOld);
        return nullptr;
    }
    void* p = realloc(pOld, cbNew);
    if (p == nullptr)
        abort();
    return p;
}

void CJsonAllocator::Free(void* p)
{
    free(p);
}

struct CJsonWriter::Impl
{
    Impl() : writer(buffer) {}

    // Writes a text through the writer as UTF-8.
    template <typename Write>
    void Utf8(LPCWSTR pszText, Write write)
    {
        const int cb = ::WideCharToMultiByte(CP_UTF8, 0, pszText, -1, nullptr, 0, nullptr, nullptr);
        if (cb <= 0)
        {
            write("", 0);
            return;
        }
        utf8.SetSize(cb);
        char* const psz = reinterpret_cast<char*>(utf8.GetData());
        ::WideCharToMultiByte(CP_UTF8, 0, pszText, -1, psz, cb, nullptr, nullptr);
        write(psz, static_cast<rapidjson::SizeType>(cb - 1));
    }

    CJsonBuffer buffer;
    CJsonTextWriter writer;
    CByteArray utf8;
};

CJsonWriter::CJsonWriter() : m_pImpl(new Impl)
{
}

CJsonWriter::~CJsonWriter()
{
    delete m_pImpl;
}

CJsonWriter& CJsonWriter::BeginObject()
{
    m_pImpl->writer.StartObject();
    return *this;
}

CJsonWriter& CJsonWriter::EndObject()
{
    m_pImpl->writer.EndObject();
    return *this;
}

CJsonWriter& CJsonWriter::BeginArray()
{
    m_pImpl->writer.StartArray();
    return *this;
}

CJsonWriter& CJsonWriter::EndArray()
{
    m_pImpl->writer.EndArray();
    return *this;
}

CJsonWriter& CJsonWriter::Key(LPCWSTR pszName)
{
    m_pImpl->Utf8(pszName, [this](const char* psz, rapidjson::SizeType cb) { m_pImpl->writer.Key(psz, cb); });
    return *this;
}

CJsonWriter& CJsonWriter::String(LPCWSTR pszValue)
{
    if (pszValue == nullptr)
        return Null();
    m_pImpl->Utf8(pszValue, [this](const char* psz, rapidjson::SizeType cb) { m_pImpl->writer.String(psz, cb); });
    return *this;
}

CJsonWriter& CJsonWriter::Number(int nValue)
{
    m_pImpl->writer.Int(nValue);
    return *this;
}

CJsonWriter& CJsonWriter::Bool(BOOL bValue)
{
    m_pImpl->writer.Bool(bValue != FALSE);
    return *this;
}

CJsonWriter& CJsonWriter::Null()
{
    m_pImpl->writer.Null();
    return *this;
}

CString CJsonWriter::Text() const
{
    const char* const psz = m_pImpl->buffer.GetString();
    const int cch = ::MultiByteToWideChar(CP_UTF8, 0, psz, -1, nullptr, 0);
    if (cch <= 0)
        return CString();
    CByteArray wide;
    wide.SetSize(static_cast<INT_PTR>(cch * sizeof(WCHAR)));
    const LPWSTR pszWide = reinterpret_cast<LPWSTR>(wide.GetData());
    ::MultiByteToWideChar(CP_UTF8, 0, psz, -1, pszWide, cch);
    return CString(pszWide);
}
