#include "kesto_trace.h"

#include "kesto_version_info.h"

#include <QDebug>
#include <QList>
#include <QStandardItem>

namespace board_link {

namespace {

QStandardItemModel*& modelSlot() {
    static QStandardItemModel* model = nullptr;
    return model;
}

std::mutex& textMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

KestoTrace::KestoTrace() : processor_(std::make_unique<KestoTraceStandardDataProcessor>()) {}

KestoTrace::~KestoTrace() {
    if (file_.isOpen()) {
        writer_.writeEndElement();
        writer_.writeEndDocument();
        file_.close();
    }
    std::lock_guard<std::mutex> guard(rowMutex_);
    delete modelSlot();
    modelSlot() = nullptr;
}

QStandardItemModel* KestoTrace::rowModel() {
    return modelSlot();
}

void KestoTrace::openSession(std::uint8_t level, std::uint32_t mask) {
    KestoVersionInfo& info = KestoVersionInfo::instance();
    // Joined with "/": the folder already ends in one, and a doubled one is harmless.
    const QString path = info.logFolder() + QStringLiteral("/trace.txt");
    level_ = level;
    mask_ = mask;
    if ((mask & kMaskModel) != 0 && modelSlot() == nullptr) {
        std::lock_guard<std::mutex> guard(rowMutex_);
        modelSlot() = new QStandardItemModel();
    }
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    writer_.setDevice(&file_);
    writer_.setAutoFormatting(true);
    writer_.writeStartDocument();
    writer_.writeStartElement(QStringLiteral("session"));
    writer_.writeStartElement(QStringLiteral("information"));
    writer_.writeAttribute(QStringLiteral("guiversion"), info.productVersion());
    writer_.writeAttribute(QStringLiteral("fwversion"), info.secondProductVersion());
    writer_.writeEndElement();
    file_.flush();
}

void KestoTrace::trace(int trcLevel, QString msg) {
    if (trcLevel > level_) return;
    std::lock_guard<std::mutex> guard(textMutex());
    if ((mask_ & kMaskSignal) != 0) emit traceSignal(msg);
    if ((mask_ & kMaskDebug) != 0) qDebug().noquote() << msg;
}

void KestoTrace::trace(int, QStringList msgs) {
    std::lock_guard<std::mutex> guard(listMutex_);
    QStandardItemModel* model = modelSlot();
    // No model, no row: items made here would belong to nobody.
    if (model == nullptr) return;
    QList<QStandardItem*> row;
    for (const QString& text : msgs)
        row.append(new QStandardItem(text));
    std::unique_lock<std::mutex> rows(rowMutex_);
    if (model->rowCount() >= rowLimit_) {
        rows.unlock();
        emit clearTrace();
        rows.lock();
    }
    model->appendRow(row);
}

} // namespace board_link
