// Entry of the layout tests: the framework is set up as the program's own entry leaves it.
#include <gtest/gtest.h>

#include "framework/afxwin.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    AfxWinInit(::GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
    AfxGetApp()->SetRegistryKey(L"MorvexSoft");
    return RUN_ALL_TESTS();
}
