#include "afxcoll.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

CMapStringToString::CMapStringToString(INT_PTR /*nBlockSize*/)
    : m_pHashTable(nullptr), m_nHashTableSize(17), m_nCount(0), m_pFirst(nullptr), m_pLast(nullptr)
{
}

CMapStringToString::~CMapStringToString()
{
    RemoveAll();
}

UINT CMapStringToString::HashKey(LPCWSTR key)
{
    UINT nHash = 0;
    while (*key != L'\0')
        nHash = (nHash << 5) + nHash + static_cast<UINT>(*key++);
    return nHash;
}

CMapStringToString::CAssoc* CMapStringToString::Find(LPCWSTR key, UINT nHashValue) const
{
    if (m_pHashTable == nullptr)
        return nullptr;
    for (CAssoc* pAssoc = m_pHashTable[nHashValue % m_nHashTableSize]; pAssoc != nullptr; pAssoc = pAssoc->pNextInBucket)
    {
        if (pAssoc->nHashValue == nHashValue && pAssoc->key.Compare(key) == 0)
            return pAssoc;
    }
    return nullptr;
}

BOOL CMapStringToString::Lookup(LPCWSTR key, CString& rValue) const
{
    const CAssoc* pAssoc = Find(key, HashKey(key));
    if (pAssoc == nullptr)
        return FALSE;
    rValue = pAssoc->value;
    return TRUE;
}

CString& CMapStringToString::operator[](LPCWSTR key)
{
    const UINT nHashValue = HashKey(key);
    if (CAssoc* pAssoc = Find(key, nHashValue))
        return pAssoc->value;

    if (m_pHashTable == nullptr || static_cast<UINT>(m_nCount) >= m_nHashTableSize * 2)
        GrowHashTable();

    CAssoc* pAssoc = new CAssoc;
    pAssoc->nHashValue = nHashValue;
    pAssoc->key = key;
    CAssoc*& rBucket = m_pHashTable[nHashValue % m_nHashTableSize];
    pAssoc->pNextInBucket = rBucket;
    rBucket = pAssoc;
    pAssoc->pPrevInOrder = m_pLast;
    pAssoc->pNextInOrder = nullptr;
    (m_pLast != nullptr ? m_pLast->pNextInOrder : m_pFirst) = pAssoc;
    m_pLast = pAssoc;
    ++m_nCount;
    return pAssoc->value;
}

BOOL CMapStringToString::RemoveKey(LPCWSTR key)
{
    if (m_pHashTable == nullptr)
        return FALSE;
    const UINT nHashValue = HashKey(key);
    for (CAssoc** ppAssoc = &m_pHashTable[nHashValue % m_nHashTableSize]; *ppAssoc != nullptr;
         ppAssoc = &(*ppAssoc)->pNextInBucket)
    {
        CAssoc* pAssoc = *ppAssoc;
        if (pAssoc->nHashValue != nHashValue || pAssoc->key.Compare(key) != 0)
            continue;
        *ppAssoc = pAssoc->pNextInBucket;
        (pAssoc->pPrevInOrder != nullptr ? pAssoc->pPrevInOrder->pNextInOrder : m_pFirst) = pAssoc->pNextInOrder;
        (pAssoc->pNextInOrder != nullptr ? pAssoc->pNextInOrder->pPrevInOrder : m_pLast) = pAssoc->pPrevInOrder;
        delete pAssoc;
        --m_nCount;
        return TRUE;
    }
    return FALSE;
}

void CMapStringToString::RemoveAll()
{
    for (CAssoc* pAssoc = m_pFirst; pAssoc != nullptr;)
    {
        CAssoc* pNext = pAssoc->pNextInOrder;
        delete pAssoc;
        pAssoc = pNext;
    }
    free(m_pHashTable);
    m_pHashTable = nullptr;
    m_nCount = 0;
    m_pFirst = m_pLast = nullptr;
}

POSITION CMapStringToString::GetStartPosition() const
{
    return m_pFirst;
}

void CMapStringToString::GetNextAssoc(POSITION& rNextPosition, CString& rKey, CString& rValue) const
{
    const CAssoc* pAssoc = static_cast<const CAssoc*>(rNextPosition);
    rKey = pAssoc->key;
    rValue = pAssoc->value;
    rNextPosition = pAssoc->pNextInOrder;
}

void CMapStringToString::GrowHashTable()
{
    const UINT nNewSize = m_pHashTable == nullptr ? m_nHashTableSize : m_nHashTableSize * 2 + 1;
    CAssoc** pNewTable = static_cast<CAssoc**>(calloc(nNewSize, sizeof(CAssoc*)));
    if (pNewTable == nullptr)
        abort();
    for (CAssoc* pAssoc = m_pFirst; pAssoc != nullptr; pAssoc = pAssoc->pNextInOrder)
    {
        CAssoc*& rBucket = pNewTable[pAssoc->nHashValue % nNewSize];
        pAssoc->pNextInBucket = rBucket;
        rBucket = pAssoc;
    }
    free(m_pHashTable);
    m_pHashTable = pNewTable;
    m_nHashTableSize = nNewSize;
}

CByteArray::~CByteArray()
{
    free(m_pData);
}

void CByteArray::SetSize(INT_PTR nNewSize)
{
    if (nNewSize <= 0)
    {
        free(m_pData);
        m_pData = nullptr;
        m_nSize = 0;
        return;
    }
    BYTE* pNew = static_cast<BYTE*>(realloc(m_pData, static_cast<size_t>(nNewSize)));
    if (pNew == nullptr)
        abort();
    if (nNewSize > m_nSize)
        memset(pNew + m_nSize, 0, static_cast<size_t>(nNewSize - m_nSize));
    m_pData = pNew;
    m_nSize = nNewSize;
}

void CByteArray::Copy(const CByteArray& src)
{
    if (&src == this)
        return;
    SetSize(src.m_nSize);
    if (m_nSize > 0)
        memcpy(m_pData, src.m_pData, static_cast<size_t>(m_nSize));
}
