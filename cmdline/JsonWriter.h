// CJsonWriter: JSON text written value by value, on one line, in the form scripts and tools read.
#pragma once

#include "framework/afxstr.h"

// RapidJSON's writer behind the framework's strings: a text goes in as UTF-16 and is written as
// UTF-8, with quotes, backslashes and control characters escaped. The calls must nest as JSON
// does; each returns the writer, so that a member reads json.Key(L"ok").Bool(TRUE).
class CJsonWriter
{
public:
    CJsonWriter();
    ~CJsonWriter();
    CJsonWriter(const CJsonWriter&) = delete;
    CJsonWriter& operator=(const CJsonWriter&) = delete;

    CJsonWriter& BeginObject();
    CJsonWriter& EndObject();
    CJsonWriter& BeginArray();
    CJsonWriter& EndArray();
    CJsonWriter& Key(LPCWSTR pszName);
    // A null text is JSON's null. A lone surrogate, which no UTF-8 can hold, is written as U+FFFD.
    CJsonWriter& String(LPCWSTR pszValue);
    CJsonWriter& Number(int nValue);
    CJsonWriter& Bool(BOOL bValue);
    CJsonWriter& Null();

    // What was written, as UTF-16 again for the output, which writes data in UTF-8.
    CString Text() const;

private:
    struct Impl;
    Impl* m_pImpl;
};
