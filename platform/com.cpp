#include "platform/com.h"

namespace tarvo::platform {
namespace {
thread_local int initCount = 0;
}  // namespace

int CoInitialize(void* /*reserved*/) {
    return initCount++ == 0 ? 0 : 1;
}

void CoUninitialize() {
    if (initCount > 0) --initCount;
}

int ComInitCount() {
    return initCount;
}

}  // namespace tarvo::platform
