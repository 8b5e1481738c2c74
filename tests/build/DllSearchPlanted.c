/* The DLL the search guard test plants beside its program; what it holds does not matter. */
__declspec(dllexport) int DllSearchPlanted(void) { return 1; }
