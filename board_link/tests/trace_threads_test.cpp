// Two threads appending rows through the list form: every row arrives whole.
#include "kesto_trace.h"

#include <vktesting/temp_dir.h>

#include <QStandardItem>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace board_link::test {
namespace {

TEST(TraceThreadsTest, RowsFromTwoThreadsArriveWhole) {
    vktesting::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    KestoTrace trace;
    trace.openSession(255, KestoTrace::kMaskModel);
    constexpr int kRows = 100;
    auto append = [&](const QString& who) {
        for (int i = 0; i < kRows; ++i)
            trace.trace(1, QStringList{who, QString::number(i), who + QString::number(i)});
    };
    std::thread a(append, QStringLiteral("a"));
    std::thread b(append, QStringLiteral("b"));
    a.join();
    b.join();
    QStandardItemModel* model = KestoTrace::rowModel();
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->rowCount(), 2 * kRows);
    for (int r = 0; r < model->rowCount(); ++r) {
        ASSERT_EQ(model->columnCount(), 3);
        EXPECT_EQ(model->item(r, 0)->text() + model->item(r, 1)->text(), model->item(r, 2)->text()) << r;
    }
}

} // namespace
} // namespace board_link::test
