// A sink for tests: installs itself for its lifetime and keeps every record it is
// given, so a test can look at categories, levels and texts.
#ifndef VKPLATFORM_ZLOG_CAPTURE_H
#define VKPLATFORM_ZLOG_CAPTURE_H

#include <vkplatform/zlog_sink.h>

#include <mutex>
#include <string>
#include <vector>

namespace vkplatform {

struct CapturedRecord {
    std::string category;
    std::string file;
    std::string function;
    long line = 0;
    int level = 0;
    std::string message;
};

class ZlogCapture {
  public:
    // Installs itself as the process's sink with the given lowest level.
    explicit ZlogCapture(int lowestLevel = ZLOG_LEVEL_TRACE);
    ~ZlogCapture();
    ZlogCapture(const ZlogCapture&) = delete;
    ZlogCapture& operator=(const ZlogCapture&) = delete;

    std::vector<CapturedRecord> records() const;
    // The records of one category, in order.
    std::vector<CapturedRecord> records(const std::string& category) const;
    void clear();

  private:
    static void sink(void* context, const zlog_record* record);

    mutable std::mutex mutex_; // guards records_; taken inside the sink call only
    std::vector<CapturedRecord> records_;
};

} // namespace vkplatform

#endif
