// CCommandLineInfo for the native fuzz targets.
#pragma once

#include "framework/afxstr.h"

class CCommandLineInfo
{
public:
    virtual ~CCommandLineInfo() = default;
    virtual void ParseParam(const WCHAR*, BOOL, BOOL) {}
};
