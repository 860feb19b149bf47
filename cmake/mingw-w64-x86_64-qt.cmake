# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building Qt for 64-bit Windows with Debian's mingw-w64 (POSIX threads variant), and the
# window and vexa_cli against it: the compilers named here, the system's alternatives left alone.
# Qt's libraries are shared, so the compiler's run-time libraries go beside them (no -static).
# VEXA_QT_PREFIX names that Qt for the programs' build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VEXA_QT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
