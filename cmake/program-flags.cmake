# Compile and link settings of the Windows build: hardened, small, reproducible programs.
# docs/release-build.md says what each setting buys, what each size step saved and what MinGW
# cannot give; tests/build holds the programs to it.

# Every Windows target, tests included ------------------------------------------------------------
# Hardening: stack canaries and checked buffer functions (framework/entry.cpp keeps the canary, so
# that libssp's start-up and its cryptographic provider stay out of the programs); a relocatable
# image (ASLR, 64-bit entropy on x64) whose data cannot be executed (DEP). The relocation table is kept explicitly: without it ASLR has nothing
# to work with.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong> $<$<COMPILE_LANGUAGE:C,CXX>:-D_FORTIFY_SOURCE=2>)
add_link_options(-static -fstack-protector-strong
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--enable-reloc-section)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_link_options(-Wl,--high-entropy-va)
else()
  # GNU ld writes no SafeSEH table. GCC's x86 code unwinds through DWARF tables and registers no
  # SEH handler of its own, so the image says it has none: Windows then calls no handler inside
  # it at all, which also stops an overwritten handler record that points into the program.
  add_link_options(-Wl,--no-seh)
endif()
# The Windows the programs are for: they need Windows 7 (they import GetTickCount64), and an older
# declared version (ld's default: 4.0, x64 5.2) makes Windows apply its compatibility behaviour for
# programs older than Vista, and differently to the two. Terminal Server aware, as Windows' own
# linker marks programs by default: a terminal server then applies none of its compatibility
# shims (the per-user copies of INI files and registry keys) to them.
add_link_options(-Wl,--major-os-version,6 -Wl,--minor-os-version,1
  -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,1 -Wl,--tsaware)
# Size: every function and datum in a section of its own, so the linker drops what nothing uses.
# No RTTI anywhere: the product code uses none, and the tests derive from product classes, so
# both sides must agree on it.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections> $<$<COMPILE_LANGUAGE:C,CXX>:-fdata-sections>
  $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
add_link_options(-Wl,--gc-sections)
# Reproducible: no absolute path of the source or build folder in any object, no link time stamp
# in the image, archives without dates or owners.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>)
add_link_options(-Wl,--no-insert-timestamp)
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()

# The product code ---------------------------------------------------------------------------------
# It throws nothing and runs on one thread: without exception tables, unwinder, personality
# routine and thread-safe guards of local statics (which pull in winpthread), the C++ run-time
# shrinks to almost nothing. framework/afxmem.cpp replaces the throwing operator new. On x86 the
# DWARF unwind tables then serve nothing (x64 keeps its unwind data: Windows itself walks it).
set(MORVEX_PRODUCT_OPTIONS -fno-exceptions -fno-threadsafe-statics)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND MORVEX_PRODUCT_OPTIONS -fno-asynchronous-unwind-tables)
endif()
function(morvex_product_code)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${MORVEX_PRODUCT_OPTIONS}>")
  endforeach()
endfunction()

# A shipped program: product code, with framework/entry.cpp's DLL search guard, stripped, and a
# link map beside it in the build folder (the tests read it).
function(morvex_program target)
  morvex_product_code(${target})
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/framework/entry.cpp)
  target_link_options(${target} PRIVATE -s -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
endfunction()
