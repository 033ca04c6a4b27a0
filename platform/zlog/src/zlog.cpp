// Category registry and the one sink of the process.
#include <vkplatform/zlog_sink.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

struct zlog_category {
    std::string name;
};

namespace {

struct Registry {
    // Guards `categories`; taken alone, never while the sink lock is held.
    std::mutex categoryMutex;
    std::map<std::string, std::unique_ptr<zlog_category>, std::less<>> categories;

    // Guards the sink fields. zlog() holds it across the sink call, so records
    // never overlap and removal waits for a running call. Taken alone.
    std::mutex sinkMutex;
    zlog_sink_fn sink = nullptr;
    void* context = nullptr;
    int lowestLevel = 0;
    std::atomic<bool> enabled{false};
};

Registry& registry() {
    // Never destroyed: libraries may still log while the process exits.
    static Registry* instance = new Registry;
    return *instance;
}

std::string format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<std::size_t>(needed) < sizeof small)
        return std::string(small, static_cast<std::size_t>(needed));
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

} // namespace

extern "C" {

VK_ZLOG_API zlog_category_t* zlog_get_category(const char* name) {
    if (name == nullptr) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.categoryMutex);
    auto found = r.categories.find(std::string_view(name));
    if (found != r.categories.end()) return found->second.get();
    auto category = std::make_unique<zlog_category>();
    category->name = name;
    zlog_category_t* handle = category.get();
    r.categories.emplace(category->name, std::move(category));
    return handle;
}

VK_ZLOG_API int log_enabled(void) {
    return registry().enabled.load(std::memory_order_acquire) ? 1 : 0;
}

VK_ZLOG_API int check_zlog_cat(const char* name, zlog_category_t** cache) {
    if (cache == nullptr) return -1;
    if (*cache == nullptr) *cache = zlog_get_category(name);
    return *cache != nullptr ? 0 : -1;
}

VK_ZLOG_API void zlog(zlog_category_t* category, const char* file, size_t file_length, const char* function,
                      size_t function_length, long line, int level, const char* format_text, ...) {
    if (category == nullptr || format_text == nullptr) return;
    Registry& r = registry();
    std::lock_guard lock(r.sinkMutex);
    if (r.sink == nullptr || level < r.lowestLevel) return;
    va_list args;
    va_start(args, format_text);
    const std::string message = format(format_text, args);
    va_end(args);
    const zlog_record record{category->name.c_str(),
                             file != nullptr ? file : "",
                             file != nullptr ? file_length : 0,
                             function != nullptr ? function : "",
                             function != nullptr ? function_length : 0,
                             line,
                             level,
                             message.c_str()};
    r.sink(r.context, &record);
}

VK_ZLOG_API void zlog_install_sink(zlog_sink_fn sink, void* context, int lowest_level) {
    Registry& r = registry();
    std::lock_guard lock(r.sinkMutex);
    r.sink = sink;
    r.context = sink != nullptr ? context : nullptr;
    r.lowestLevel = lowest_level;
    r.enabled.store(sink != nullptr, std::memory_order_release);
}

VK_ZLOG_API void zlog_remove_sink(void) {
    zlog_install_sink(nullptr, nullptr, 0);
}

} // extern "C"
