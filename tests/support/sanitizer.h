// RW_ASAN is defined in builds with the address sanitizer, which reserves more address space than
// any limit a test sets: tests of running out of memory skip themselves there.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define RW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RW_ASAN 1
#endif
#endif
