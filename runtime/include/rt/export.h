// RT_API marks what a program reaches of the runtime across the shared
// library that carries it (hostkit): the functions and classes of the
// runtime's installed headers. Everything else stays inside the library.
//
// On Windows the runtime's own objects are built with RT_EXPORTS and a
// program that uses the DLL is built with RT_IMPORTS; a program that links
// the runtime statically defines neither.
#pragma once

#if defined(_WIN32)
#if defined(RT_EXPORTS)
#define RT_API __declspec(dllexport)
#elif defined(RT_IMPORTS)
#define RT_API __declspec(dllimport)
#else
#define RT_API
#endif
#else
#define RT_API __attribute__((visibility("default")))
#endif
