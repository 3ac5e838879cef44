// HOSTKIT_API marks what the shared library exports of its own: the
// classes and the entry points. Everything else stays inside the library.
//
// On Windows the library's objects are built with HOSTKIT_EXPORTS and a
// program that uses the DLL is built with HOSTKIT_IMPORTS; a program that
// links the library statically defines neither.
#pragma once

#if defined(_WIN32)
#if defined(HOSTKIT_EXPORTS)
#define HOSTKIT_API __declspec(dllexport)
#elif defined(HOSTKIT_IMPORTS)
#define HOSTKIT_API __declspec(dllimport)
#else
#define HOSTKIT_API
#endif
#else
#define HOSTKIT_API __attribute__((visibility("default")))
#endif
