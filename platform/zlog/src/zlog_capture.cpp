#include <vkplatform/zlog_capture.h>

namespace vkplatform {

ZlogCapture::ZlogCapture(int lowestLevel) {
    zlog_install_sink(&ZlogCapture::sink, this, lowestLevel);
}

ZlogCapture::~ZlogCapture() {
    zlog_remove_sink();
}

void ZlogCapture::sink(void* context, const zlog_record* record) {
    auto* self = static_cast<ZlogCapture*>(context);
    CapturedRecord copy{record->category,
                        std::string(record->file, record->file_length),
                        std::string(record->function, record->function_length),
                        record->line,
                        record->level,
                        record->message};
    std::lock_guard lock(self->mutex_);
    self->records_.push_back(std::move(copy));
}

std::vector<CapturedRecord> ZlogCapture::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<CapturedRecord> ZlogCapture::records(const std::string& category) const {
    std::lock_guard lock(mutex_);
    std::vector<CapturedRecord> selected;
    for (const auto& record : records_) {
        if (record.category == category) selected.push_back(record);
    }
    return selected;
}

void ZlogCapture::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

} // namespace vkplatform
