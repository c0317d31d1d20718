// Stand-in for COM initialisation: a per-thread count.
//
// CoInitialize raises the calling thread's count and CoUninitialize lowers it, as the
// platform's pair does; the count lets callers and tests see that every path balances.
// Each thread has its own count, so any thread may call these.
#pragma once

namespace tarvo::platform {

// Raises this thread's count. The reserved argument is accepted for the platform's
// signature and ignored. Returns 0 on the first initialisation of the thread and 1
// when the thread was already initialised (the platform's S_OK and S_FALSE).
int CoInitialize(void* reserved);

// Lowers this thread's count; a call on an uninitialised thread does nothing.
void CoUninitialize();

// How often this thread is initialised now.
[[nodiscard]] int ComInitCount();

}  // namespace tarvo::platform
