#include "hosting/host.h"

#include "hosting/vm.h"

#include <algorithm>
#include <cstdlib>

namespace hosting {
namespace {

// Detaches the thread at its end if currentEnv attached it.
struct AttachedHere {
    bool attached = false;
    ~AttachedHere() {
        if (attached && startedVm() != nullptr) {
            startedVm()->DetachCurrentThread();
        }
    }
};

thread_local AttachedHere t_attachedHere;

}  // namespace

JNIEnv* currentEnv() {
    JavaVM* vm = startedVm();
    JNIEnv* env = nullptr;
    if (vm == nullptr) {
        return nullptr;
    }
    jint status = vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6);
    if (status == JNI_OK) {
        return env;
    }
    if (status != JNI_EDETACHED ||
        vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
        return nullptr;
    }
    t_attachedHere.attached = true;
    return env;
}

AndroidHelper::AndroidHelper(Options options) : m_options(options) {}

jobject AndroidHelper::GetActivity() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_activityCount;
    }
    JNIEnv* env = currentEnv();
    if (env == nullptr) {
        return nullptr;
    }
    if (m_options.activity != nullptr) {
        return env->NewLocalRef(m_options.activity);
    }
    return m_options.activityTitle != nullptr ? newActivity(env, m_options.activityTitle) : nullptr;
}

jclass AndroidHelper::FindClass(const ShortWchar* className) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_classNamesAsked.push_back(className != nullptr ? std::u16string(className) : std::u16string());
    }
    JNIEnv* env = currentEnv();
    if (env == nullptr || className == nullptr || m_options.lookup == Lookup::Nothing) {
        return nullptr;
    }
    if (m_options.lookup == Lookup::Throws) {
        return env->FindClass("com/kestra/NoSuchScannerClass");
    }
    if (m_options.onlyClass != nullptr) {
        jclass found = env->FindClass(m_options.onlyClass);
        if (found == nullptr) {
            env->ExceptionClear();
        }
        return found;
    }
    return findClass(env, className);
}

std::vector<std::u16string> AndroidHelper::classNamesAsked() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_classNamesAsked;
}

int AndroidHelper::activityCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_activityCount;
}

bool HostConnection::SetEventBufferDepth(int32_t depth) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_depths.push_back(depth);
    return m_depthResult;
}

void HostConnection::setEventBufferDepthResult(bool result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_depthResult = result;
}

bool HostConnection::ExternalEvent(const ShortWchar* source, const ShortWchar* message,
                                   const ShortWchar* data) {
    return m_onEvent ? m_onEvent(source, message, data) : true;
}

void* HostConnection::GetInterface(int32_t index) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interfaceRequests.push_back(index);
    }
    return index == kAndroidHelperInterface ? m_helper : nullptr;
}

std::vector<int32_t> HostConnection::eventBufferDepths() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_depths;
}

std::vector<int32_t> HostConnection::interfaceRequests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interfaceRequests;
}

HostMemory::~HostMemory() {
    releaseAll();
}

bool HostMemory::AllocMemory(void** block, uint32_t size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests;
    if (m_refusing || m_grantsLeft == 0 || block == nullptr) {
        return false;
    }
    void* address = malloc(size == 0 ? 1 : size);
    if (address == nullptr) {
        return false;
    }
    if (m_grantsLeft > 0) {
        --m_grantsLeft;
    }
    std::fill_n(static_cast<unsigned char*>(address), size, 0xA5);
    m_blocks.push_back({address, size});
    *block = address;
    return true;
}

void HostMemory::setRefusing(bool refusing) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusing = refusing;
}

void HostMemory::release(const void* block) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // The newest first: a host frees what it has just read.
    auto found =
        std::find_if(m_blocks.rbegin(), m_blocks.rend(), [&](const Block& b) { return b.address == block; });
    if (found != m_blocks.rend()) {
        free(found->address);
        m_blocks.erase(std::next(found).base());
    }
}

void HostMemory::releaseAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Block& block : m_blocks) {
        free(block.address);
    }
    m_blocks.clear();
}

std::vector<HostMemory::Block> HostMemory::blocks() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks;
}

size_t HostMemory::blockCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

bool HostMemory::owns(const void* address) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_blocks.begin(), m_blocks.end(),
                       [&](const Block& b) { return b.address == address; });
}

bool HostMemory::holds(const ShortWchar* text, uint32_t length) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Block& block : m_blocks) {
        if (block.address == text) {
            return (static_cast<uint64_t>(length) + 1) * sizeof(ShortWchar) <= block.size &&
                   text[length] == 0;
        }
    }
    return false;
}

size_t HostMemory::requestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

}  // namespace hosting
