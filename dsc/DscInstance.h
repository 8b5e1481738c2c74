// The resource's instance as DSC hands it over: which keys of the table are managed, and how, read from untrusted JSON.
#pragma once

#include "framework/afxstr.h"
#include "layout/KeyTable.h"

// A key left out is not managed. A managed key is desired switched off, or not switched off.
struct DscDesiredState
{
    KeySet managed = 0;
    KeySet disabled = 0;  // the managed keys desired "disabled"; the others are desired "enabled" or "remapped"
    // The managed keys desired "remapped", as get and export report another tool's remap: left to
    // that tool, met as "enabled" is, and named so again in test's report.
    KeySet remapped = 0;
};

// Reads one instance: a JSON object in UTF-8 (a byte order mark may lead) whose members are keys'
// names, each "disabled", "enabled" or "remapped". The members the resource only reports
// (remappedTo, _inDesiredState, _restartRequired) are taken and ignored, so that what get, test
// and export printed can come back as a desired state. Anything else is refused, with a text for
// the standard error that says what is wrong and where: text that is not JSON or not UTF-8, a
// value other than an object, a member of no key, a member named twice, a state that is not one of
// the three. The reader never nests deeper than the resource's own reports do, so no text, however
// deep, can exhaust its stack.
BOOL ReadDscInstance(const BYTE* pText, size_t cbText, DscDesiredState& desired, CString& strError);
