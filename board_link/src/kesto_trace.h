// The process-wide session trace of a board library: the XML session file
// "trace.txt" in the host's log folder, the text and list trace slots, and the
// row model the list form fills.
//
// Mutexes are standard ones: `textMutex` (process-wide) guards the text slot's
// outputs, `listMutex_` the list slot, `rowMutex_` the row model; the list
// slot takes the row mutex inside the list mutex.
#ifndef BOARD_LINK_KESTO_TRACE_H
#define BOARD_LINK_KESTO_TRACE_H

#include "kesto_trace_rows.h"

#include <QFile>
#include <QObject>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>
#include <QXmlStreamWriter>

#include <cstdint>
#include <memory>
#include <mutex>

namespace board_link {

class KestoTrace : public QObject {
    Q_OBJECT
  public:
    static constexpr std::uint32_t kMaskDebug = 1;
    static constexpr std::uint32_t kMaskSignal = 4;
    static constexpr std::uint32_t kMaskModel = 16;

    KestoTrace();
    // Closes the session: ends "session" and the document, closes the file.
    ~KestoTrace() override;

    // Stores level and mask, makes the row model for mask bit 16, and starts
    // "trace.txt" in the log folder with its "information" element. A file
    // that cannot be opened leaves the session without one.
    void openSession(std::uint8_t level, std::uint32_t mask);

    std::uint8_t level() const { return level_; }
    std::uint32_t mask() const { return mask_; }
    int rowLimit() const { return rowLimit_; }
    KestoTraceInterface& processor() { return *processor_; }
    bool sessionOpen() const { return file_.isOpen(); }

    // The process-wide row model; null unless a session with mask bit 16 made it.
    static QStandardItemModel* rowModel();

  public slots:
    // Up to the level: emits traceSignal (mask 4), writes a debug line (mask 1).
    void trace(int trcLevel, QString msg);
    // A row of the texts appended to the row model, whatever the level; the
    // model is cleared first (clearTrace) when it holds the row limit.
    void trace(int trcLevel, QStringList msgs);

  signals:
    void traceSignal(QString str);
    void traceBufferClear(bool clear = true);
    void clearTrace();

  private:
    std::unique_ptr<KestoTraceInterface> processor_;
    std::uint8_t level_ = 1;
    std::uint32_t mask_ = 0;
    int rowLimit_ = 0;
    std::mutex listMutex_;
    std::mutex rowMutex_;
    QFile file_;
    QXmlStreamWriter writer_;
};

} // namespace board_link

#endif
