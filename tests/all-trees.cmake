# One CTest run over every build tree, so that a single summary closes it. CTest reads this from
# build/CTestTestfile.cmake, which make writes with MORVEX_ROOT and MORVEX_BUILD set to the source
# tree and the build root.
#
# The two Windows trees build the same tests from the same CMake files. Each test gets its tree's
# architecture in front of its name (x86.win..., x64.e2e...), and each tree's resource locks are
# its own, as each tree has prefixes of its own: so x86 and x64 tests run side by side, and a test
# added to those CMake files runs for both without further ado. Where this machine cannot run the
# x86 tests, they are still listed, under the same names, and each is reported as skipped with
# the reason.

cmake_policy(VERSION 3.25)

# CTest gives every test of a tree to these; MORVEX_TEST_ARCH names the tree, and
# MORVEX_TEST_SKIP, when set, is why its tests cannot run here. Test names, and the names of the
# tests and locks a test depends on, get the architecture. The arguments go on in bracket quotes,
# so that a list inside one (an ENVIRONMENT of two variables) stays one argument.
function(add_test name)
  if(NOT MORVEX_TEST_ARCH)
    set(code "_add_test([==[${name}]==]")
  elseif(MORVEX_TEST_SKIP)
    _add_test(${MORVEX_TEST_ARCH}.${name} /bin/sh -c "echo \"$1\"; exit 77" sh "skipped: ${MORVEX_TEST_SKIP}")
    _set_tests_properties(${MORVEX_TEST_ARCH}.${name} PROPERTIES SKIP_RETURN_CODE 77)
    return()
  else()
    set(code "_add_test([==[${MORVEX_TEST_ARCH}.${name}]==]")
  endif()
  foreach(i RANGE 1 ${ARGC})
    if(i LESS ARGC)
      string(APPEND code " [==[${ARGV${i}}]==]")
    endif()
  endforeach()
  cmake_language(EVAL CODE "${code})")
endfunction()

function(set_tests_properties)
  if(MORVEX_TEST_ARCH AND MORVEX_TEST_SKIP)
    return()
  endif()
  set(code "_set_tests_properties(")
  set(part names)
  foreach(i RANGE ${ARGC})
    if(NOT i LESS ARGC)
      break()
    endif()
    set(arg "${ARGV${i}}")
    if(part STREQUAL "names" AND arg STREQUAL "PROPERTIES")
      set(part key)
    elseif(MORVEX_TEST_ARCH AND part STREQUAL "names")
      set(arg "${MORVEX_TEST_ARCH}.${arg}")
    elseif(part STREQUAL "key")
      set(key "${arg}")
      set(part value)
    elseif(part STREQUAL "value")
      if(MORVEX_TEST_ARCH AND key MATCHES "^(RESOURCE_LOCK|DEPENDS)$")
        list(TRANSFORM arg PREPEND "${MORVEX_TEST_ARCH}.")
      endif()
      set(part key)
    endif()
    string(APPEND code " [==[${arg}]==]")
  endforeach()
  cmake_language(EVAL CODE "${code})")
endfunction()

# Why the x86 tests cannot run here, or nothing when they can. 32-bit Wine needs a kernel that
# runs 32-bit programs; where one does not, installing it would break the x64 program's Wine too,
# and make deps leaves it out.
set(x86_skip "")
if(NOT EXISTS "${MORVEX_BUILD}/x86/CTestTestfile.cmake")
  set(x86_skip "the x86 tree is not configured")
else()
  execute_process(COMMAND "${MORVEX_ROOT}/tools/runs-32bit.sh" RESULT_VARIABLE runs_32bit)
  if(NOT runs_32bit EQUAL 0)
    set(x86_skip "this machine cannot run 32-bit programs, so Wine cannot run the x86 program here")
  elseif(NOT EXISTS /usr/lib/wine/wine)
    set(x86_skip "32-bit Wine (wine32:i386) is not installed; make deps installs it")
  endif()
endif()
# For make test, which says why once more under the summary.
file(REMOVE "${MORVEX_BUILD}/x86-skipped.txt")
if(x86_skip)
  message("x86 tests skipped: ${x86_skip}")
  file(WRITE "${MORVEX_BUILD}/x86-skipped.txt" "${x86_skip}\n")
endif()

subdirs("native")
set(MORVEX_TEST_ARCH x64)
subdirs("x64")
set(MORVEX_TEST_ARCH x86)
if(x86_skip)
  # The same tests as the x64 tree's, by construction; their list comes from there.
  set(MORVEX_TEST_SKIP "${x86_skip}")
  subdirs("x64")
  unset(MORVEX_TEST_SKIP)
else()
  subdirs("x86")
endif()
unset(MORVEX_TEST_ARCH)
subdirs("fuzz")
