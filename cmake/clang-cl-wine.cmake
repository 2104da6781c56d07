# The MSVC branch of CMakeLists.txt without Visual Studio: clang-cl, llvm-rc
# and llvm-lib from Debian's LLVM, in cl.exe's dialect and with its flags.
# The msvc-check preset builds the program's library and the exe's other
# objects (main and the resources), not the exe: linking it needs
# Microsoft's C runtime start-up.
#
# The Windows SDK headers are Wine's (libwine-dev), found through INCLUDE as
# cl.exe finds the real ones: the msvc-check preset sets it. So they are
# system headers, and clang-cl also preprocesses the resource script with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

# One LLVM for every tool: Debian puts clang-cl on the PATH only under a
# versioned name, but plainly in LLVM's own folder.
execute_process(COMMAND llvm-config --bindir OUTPUT_VARIABLE LLVM_BIN
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(CMAKE_C_COMPILER   ${LLVM_BIN}/clang-cl)
set(CMAKE_CXX_COMPILER ${LLVM_BIN}/clang-cl)
set(CMAKE_RC_COMPILER  ${LLVM_BIN}/llvm-rc)
set(CMAKE_AR           ${LLVM_BIN}/llvm-lib)
set(CMAKE_C_COMPILER_TARGET   x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
# Nothing here can link, so CMake's compiler checks must not try.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# libc++ stands in for Microsoft's STL, for <cstddef> and <cwchar>.
# WINE_UNICODE_NATIVE makes Wine's WCHAR a wchar_t, as on Windows, instead of
# char16_t. The rename keeps Wine's declaration of
# _InterlockedCompareExchange128 clear of clang's builtin of that name.
# cl.exe reports narrowing (C4244, C4267) and sign changes (C4245) by type
# alone; clang only where it cannot prove the value fits, so -Wconversion
# catches part of what cl.exe would stop on, not all of it. For a 64-bit
# integer narrowed implicitly, tools/narrowing_check.sh finds the rest.
string(JOIN " " CMAKE_CXX_FLAGS_INIT
  "/imsvc ${LLVM_BIN}/../include/c++/v1"
  -D_LIBCPP_NO_AUTO_LINK
  -DWINE_UNICODE_NATIVE
  -D_InterlockedCompareExchange128=wine_InterlockedCompareExchange128
  -Wconversion)
