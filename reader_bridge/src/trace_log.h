// The bridge's trace: the readers and the natives report their progress to it,
// and every operation does nothing. Its file stream is never opened.
#ifndef KESTOREADER_TRACE_LOG_H
#define KESTOREADER_TRACE_LOG_H

#include <fstream>

namespace vemlasdknative {

class TraceLog {
  public:
    void Init(const char* /*fileName*/) {}
    void Dbg(const char* /*format*/, ...) {}
    void Info(const char* /*function*/, int /*line*/) {}
    void SetTime() {}
    void Close() {}
    void Error() {}
    void Success() {}

  private:
    std::ofstream file_;
};

extern TraceLog traceLog;

} // namespace vemlasdknative

#endif
