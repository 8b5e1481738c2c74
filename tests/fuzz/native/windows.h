// The few Windows types and calls that the text readers use, for their native fuzz targets.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

// As on Windows, WCHAR is wchar_t; a character out of the Basic Multilingual Plane is held as two
// UTF-16 code units here too, so surrogate pairs meet the readers as they do there.
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef intptr_t INT_PTR;
typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;
typedef const char* LPCSTR;

#define TRUE 1
#define FALSE 0
#define CP_UTF8 65001u
#define __cdecl

// Valid UTF-8 (the readers validate first) to UTF-16 code units; no terminator is added.
int MultiByteToWideChar(UINT nCodePage, DWORD dwFlags, LPCSTR psz, int cb, LPWSTR pszWide, int cchWide);

int _wcsicmp(LPCWSTR a, LPCWSTR b);
int _wcsnicmp(LPCWSTR a, LPCWSTR b, size_t n);
