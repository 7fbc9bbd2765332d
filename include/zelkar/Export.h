// Symbol visibility for the library: everything is hidden unless marked ZK_API.
#pragma once

#if defined(_WIN32)
#define ZK_API __declspec(dllexport)
#else
#define ZK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ZK_EXTERN_C extern "C"
#else
#define ZK_EXTERN_C
#endif
