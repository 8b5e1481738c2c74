// Test entry under Wine: the framework is set up as the program's entry would, then the tests run.
#include <gtest/gtest.h>

#include "framework/afxwin.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    AfxWinInit(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    // As the application's start-up leaves it, short of running the dialog.
    AfxGetApp()->SetRegistryKey(L"MorvexSoft");
    return RUN_ALL_TESTS();
}
