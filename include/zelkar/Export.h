/// @file
/// Symbol visibility: the library hides everything but what is marked ZK_API.
#pragma once

#if defined(_WIN32)
/// Marks the library's two exports.
#define ZK_API __declspec(dllexport)
#else
/// Marks the library's two exports, ZK_Create and ZK_Delete.
#define ZK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
/// C linkage for the exports: plain, unmangled names for `dlsym`.
#define ZK_EXTERN_C extern "C"
#else
/// Nothing in C.
#define ZK_EXTERN_C
#endif
