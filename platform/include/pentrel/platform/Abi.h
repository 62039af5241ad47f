// Calling convention and export markers for the binary interfaces the project offers (ISAPI filter
// entry points, kivlink's C functions). The only place that knows which system it is built for.
#pragma once

#if defined(_WIN32)
#define PENTREL_WINAPI __stdcall
#define PENTREL_EXPORT __declspec(dllexport)
#define PENTREL_IMPORT __declspec(dllimport)
#else
#define PENTREL_WINAPI
#define PENTREL_EXPORT __attribute__((visibility("default")))
#define PENTREL_IMPORT __attribute__((visibility("default")))
#endif
