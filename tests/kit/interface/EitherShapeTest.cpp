#include "kit/interface/EitherShape.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A rectangle and a circle of the whole rectangle, each drawn inset by what was asked.
struct Box {
    double insetBy = 0;
    QPainterPath path(const QRectF& rect) const
    {
        QPainterPath path;
        path.addRect(rect.adjusted(insetBy, insetBy, -insetBy, -insetBy));
        return path;
    }
    Box inset(double amount) const { return Box { insetBy + amount }; }
};

struct Circle {
    double insetBy = 0;
    QPainterPath path(const QRectF& rect) const
    {
        QPainterPath path;
        const double side = std::min(rect.width(), rect.height()) / 2 - insetBy;
        path.addEllipse(rect.center(), side, side);
        return path;
    }
    Circle inset(double amount) const { return Circle { insetBy + amount }; }
};

// Drawn only, never inset.
struct Outline {
    QPainterPath path(const QRectF& rect) const
    {
        QPainterPath path;
        path.addRect(rect);
        return path;
    }
};

} // namespace

TEST(EitherShapeTest, TheToggleChoosesTheShapeAndInsettingKeepsTheChoice)
{
    const QRectF rect(0, 0, 100, 40);
    zk::EitherShape<Box, Circle> shape { false, Box {}, Circle {} };
    // Off: the circle, though the box is the larger shape.
    EXPECT_EQ(shape.path(rect).boundingRect(), QRectF(30, 0, 40, 40));
    shape.toggle = true;
    EXPECT_EQ(shape.path(rect).boundingRect(), rect);

    const auto inset = shape.inset(2);
    EXPECT_TRUE(inset.toggle);
    EXPECT_EQ(inset.path(rect).boundingRect(), QRectF(2, 2, 96, 36));
    shape.toggle = false;
    EXPECT_EQ(shape.inset(2).path(rect).boundingRect(), QRectF(32, 2, 36, 36));

    static_assert(zk::InsettableShape<zk::EitherShape<Box, Circle>>);
    static_assert(zk::Shape<zk::EitherShape<Box, Outline>>);
    static_assert(!zk::InsettableShape<zk::EitherShape<Box, Outline>>);
    const zk::EitherShape<Box, Outline> plain { false, Box {}, Outline {} };
    EXPECT_EQ(plain.path(rect).boundingRect(), rect);
}
