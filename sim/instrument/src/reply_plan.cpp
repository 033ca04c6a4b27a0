#include <zrbsim/reply_plan.h>

#include <utility>

namespace zrbsim {

ReplyPlan ReplyPlan::line(const std::string& text) {
    return raw(text + "\r\n");
}

ReplyPlan ReplyPlan::raw(std::string bytes) {
    ReplyPlan plan;
    plan.chunks.push_back({std::move(bytes), std::chrono::milliseconds(0)});
    return plan;
}

ReplyPlan ReplyPlan::segments(std::vector<ReplyChunk> chunks) {
    ReplyPlan plan;
    plan.chunks = std::move(chunks);
    return plan;
}

ReplyPlan ReplyPlan::byteByByte(const std::string& text, std::chrono::milliseconds gap) {
    ReplyPlan plan;
    for (char c : text + "\r\n")
        plan.chunks.push_back({std::string(1, c), gap});
    return plan;
}

ReplyPlan ReplyPlan::crApartFromLf(const std::string& text, std::chrono::milliseconds gap) {
    return segments({{text + "\r", std::chrono::milliseconds(0)}, {"\n", gap}});
}

ReplyPlan ReplyPlan::loneCrLfFirst(const std::string& text, std::chrono::milliseconds gap) {
    return segments({{"\r\n", std::chrono::milliseconds(0)}, {text + "\r\n", gap}});
}

ReplyPlan ReplyPlan::finAfter(const std::string& text, std::size_t count) {
    ReplyPlan plan = line(text);
    plan.ending = Ending::kFinAfter;
    plan.finAfterBytes = count;
    return plan;
}

ReplyPlan ReplyPlan::fin() {
    ReplyPlan plan;
    plan.ending = Ending::kFin;
    return plan;
}

ReplyPlan ReplyPlan::rst() {
    ReplyPlan plan;
    plan.ending = Ending::kRst;
    return plan;
}

ReplyPlan ReplyPlan::silence() {
    ReplyPlan plan;
    plan.ending = Ending::kSilence;
    return plan;
}

} // namespace zrbsim
