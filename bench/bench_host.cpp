#include "bench/bench_host.h"

#include "hosting/vm.h"

namespace bench {

bool BenchHost::SetEventBufferDepth(int32_t /*depth*/) {
    return true;
}

bool BenchHost::ExternalEvent(const ShortWchar* /*source*/, const ShortWchar* /*message*/,
                              const ShortWchar* data) {
    size_t length = 0;
    while (data != nullptr && data[length] != 0) {
        ++length;
    }
    m_lastData = data;
    m_lastDataLength = length;
    ++m_events;
    return true;
}

void* BenchHost::GetInterface(int32_t index) {
    return index == kAndroidHelperInterface ? static_cast<IAndroidHelper*>(this) : nullptr;
}

JNIEnv* BenchHost::env() const {
    JNIEnv* env = nullptr;
    m_vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6);
    return env;
}

jobject BenchHost::GetActivity() {
    return hosting::newActivity(env(), "bench activity");
}

jclass BenchHost::FindClass(const ShortWchar* className) {
    return hosting::findClass(env(), className);
}

bool BenchMemory::AllocMemory(void** block, uint32_t size) {
    size_t aligned = (static_cast<size_t>(size) + 15) & ~static_cast<size_t>(15);
    if (block == nullptr || aligned > sizeof m_arena - m_used) {
        return false;
    }
    *block = m_arena + m_used;
    m_used += aligned;
    return true;
}

}  // namespace bench
