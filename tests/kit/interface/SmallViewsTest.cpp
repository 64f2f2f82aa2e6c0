#include "kit/foundation/DelegateHandler.h"
#include "kit/interface/ZeroSizeView.h"

#include <QMetaObject>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(SmallViewsTest, AZeroSizeViewTakesNoRoomWhateverItIsGiven)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new zk::ZeroSizeView;
    layout->addWidget(view);
    view->resize(100, 50);
    window.resize(200, 200);
    window.show();
    EXPECT_EQ(view->size(), QSize(0, 0));
    EXPECT_EQ(view->sizeHint(), QSize(0, 0));
}

TEST(SmallViewsTest, ThePresentationCallbackRunsAtEachCallAndMayBeAbsent)
{
    int calls = 0;
    zk::DelegateHandler handler([&] { ++calls; });
    // Reached by name, as an asynchronous presenter reaches it.
    QMetaObject::invokeMethod(&handler, "didPresentHandler");
    QMetaObject::invokeMethod(&handler, "didPresentHandler");
    EXPECT_EQ(calls, 2);
    zk::DelegateHandler empty;
    EXPECT_TRUE(QMetaObject::invokeMethod(&empty, "didPresentHandler"));
}
