#include "kit/interface/HoverableTableView.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class HoverableTableViewTest : public ::testing::Test {
protected:
    void SetUp() override { fill(5); }

    void fill(int rows)
    {
        model.clear();
        for (int row = 0; row < rows; ++row) {
            model.appendRow(new QStandardItem(QStringLiteral("Row %1").arg(row)));
        }
        view.setModel(&model);
        view.resize(200, 400);
        view.verticalHeader()->setDefaultSectionSize(30);
        view.show();
        QCoreApplication::processEvents();
    }

    void moveTo(int row, int dx = 0)
    {
        const QPoint point(10 + dx, view.rowViewportPosition(row) + 5 + dx);
        QMouseEvent event(QEvent::MouseMove, point, view.viewport()->mapToGlobal(point), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
    }

    QStandardItemModel model;
    zk::HoverableTableView view;
};

} // namespace

TEST_F(HoverableTableViewTest, TheSelectionFollowsThePointerRowByRow)
{
    int changes = 0;
    QObject::connect(view.selectionModel(), &QItemSelectionModel::selectionChanged, [&] { ++changes; });
    moveTo(0);
    EXPECT_EQ(view.selectedRow(), 0);
    moveTo(1);
    moveTo(1, 3);
    EXPECT_EQ(view.selectedRow(), 1);
    moveTo(2);
    EXPECT_EQ(view.selectedRow(), 2);
    EXPECT_EQ(changes, 3);
}

TEST_F(HoverableTableViewTest, LeavingClearsTheSelectionOnlyWhenNotKept)
{
    moveTo(3);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_EQ(view.selectedRow(), 3);
    view.keepSelection = false;
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_EQ(view.selectedRow(), -1);
}

TEST_F(HoverableTableViewTest, ArrowKeysWrapAroundAtBothEnds)
{
    view.setFocus();
    moveTo(4);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.selectedRow(), 0);
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(view.selectedRow(), 4);
    moveTo(2);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.selectedRow(), 3);
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(view.selectedRow(), 2);

    view.shouldCycle = false;
    moveTo(4);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.selectedRow(), 4);
}

TEST_F(HoverableTableViewTest, AWrappedToRowIsCentredWhenAsked)
{
    fill(100);
    view.centerSelectedRow = true;
    view.cycleSelection(40);
    EXPECT_EQ(view.selectedRow(), 40);
    const int middle = view.rowViewportPosition(40) + view.rowHeight(40) / 2;
    EXPECT_NEAR(middle, view.viewport()->height() / 2, 30);

    view.centerSelectedRow = false;
    view.cycleSelection(99);
    EXPECT_EQ(view.selectedRow(), 99);
    EXPECT_LE(view.rowViewportPosition(99) + view.rowHeight(99), view.viewport()->height());
}

TEST_F(HoverableTableViewTest, ReturnFiresTheActionWithTheSelectedRowAsClicked)
{
    int seen = -2;
    QObject::connect(&view, &zk::HoverableTableView::actionTriggered, [&] { seen = view.clickedRow(); });
    view.setFocus();
    moveTo(2);
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(view.clickedRow(), -1);
    EXPECT_EQ(view.selectedRow(), 2);

    view.selectionModel()->clearSelection();
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(seen, -1);
}

namespace {

// A list that rebuilds itself with a reset, as a model over stored data does.
class ResettingModel : public QAbstractListModel {
public:
    int rows = 10;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : rows;
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(index.row()) : QVariant();
    }
    void reset(int count)
    {
        beginResetModel();
        rows = count;
        endResetModel();
    }
};

} // namespace

TEST_F(HoverableTableViewTest, AResetKeepsTheSelectionOrMovesItToTheNewLastRow)
{
    ResettingModel resetting;
    view.setModel(&resetting);
    view.cycleSelection(7);
    resetting.reset(9);
    EXPECT_EQ(view.selectedRow(), 7);
    resetting.reset(5);
    EXPECT_EQ(view.selectedRow(), 4);
    resetting.reset(0);
    EXPECT_EQ(view.selectedRow(), -1);
    resetting.reset(3);
    EXPECT_EQ(view.selectedRow(), -1);
}

TEST_F(HoverableTableViewTest, RowsThatCannotBeSelectedAreNeverSelected)
{
    model.item(0)->setFlags(Qt::NoItemFlags);
    model.item(4)->setFlags(Qt::NoItemFlags);
    moveTo(0);
    EXPECT_EQ(view.selectedRow(), -1);
    moveTo(3);
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.selectedRow(), 1);
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(view.selectedRow(), 3);
}
