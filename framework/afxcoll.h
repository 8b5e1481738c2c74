// Collections: CMapStringToString (visited in insertion order) and CByteArray.
#pragma once

#include "afxstr.h"

struct __POSITION {};
typedef __POSITION* POSITION;

// A text-to-text hash map. Unlike a plain hash map it visits its entries in the order they were
// first added, and replacing a value keeps the entry's place: the stored keyboard layout is
// written back in the order it was read, so that a save changes only what the user changed.
class CMapStringToString
{
public:
    // The block size is kept for the framework's signature; entries are allocated one by one.
    explicit CMapStringToString(INT_PTR nBlockSize = 10);
    ~CMapStringToString();
    CMapStringToString(const CMapStringToString&) = delete;
    CMapStringToString& operator=(const CMapStringToString&) = delete;

    INT_PTR GetCount() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    BOOL Lookup(LPCWSTR key, CString& rValue) const;
    // Inserts an empty value at the end of the visiting order when the key is new.
    CString& operator[](LPCWSTR key);
    // A missing key is no error: FALSE says there was nothing to remove.
    BOOL RemoveKey(LPCWSTR key);
    void RemoveAll();

    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& rNextPosition, CString& rKey, CString& rValue) const;

private:
    struct CAssoc : __POSITION
    {
        CAssoc* pNextInBucket;
        CAssoc* pPrevInOrder;
        CAssoc* pNextInOrder;
        UINT nHashValue;
        CString key;
        CString value;
    };

    static UINT HashKey(LPCWSTR key);
    CAssoc* Find(LPCWSTR key, UINT nHashValue) const;
    void GrowHashTable();

    CAssoc** m_pHashTable;
    UINT m_nHashTableSize;
    INT_PTR m_nCount;
    CAssoc* m_pFirst;
    CAssoc* m_pLast;
};

// A growable array of bytes, zero-filled when it grows.
class CByteArray
{
public:
    CByteArray() : m_pData(nullptr), m_nSize(0) {}
    ~CByteArray();
    CByteArray(const CByteArray&) = delete;
    CByteArray& operator=(const CByteArray&) = delete;

    INT_PTR GetSize() const { return m_nSize; }
    const BYTE* GetData() const { return m_pData; }
    BYTE* GetData() { return m_pData; }
    void SetSize(INT_PTR nNewSize);
    void RemoveAll() { SetSize(0); }
    void Copy(const CByteArray& src);

private:
    BYTE* m_pData;
    INT_PTR m_nSize;
};
