#pragma once

#include <QPainterPath>
#include <QRectF>

#include <concepts>

namespace zk {

// A shape: the outline it takes in a rectangle.
template <class S>
concept Shape = requires(const S& shape, const QRectF& rect)
{
    {
        shape.path(rect)
        } -> std::convertible_to<QPainterPath>;
};

// A shape that can also be drawn inset by an amount, giving another shape.
template <class S>
concept InsettableShape = Shape<S> && requires(const S& shape, double amount)
{
    {
        shape.inset(amount)
        } -> Shape;
};

// One of two shapes, chosen by `toggle`: `a` when it is true, `b` otherwise. A value type, so a
// view can switch between two outlines (a circle and a rounded square, say) without either being
// turned into the other.
template <Shape A, Shape B> struct EitherShape {
    bool toggle = false;
    A a;
    B b;

    QPainterPath path(const QRectF& rect) const
    {
        return toggle ? QPainterPath(a.path(rect)) : QPainterPath(b.path(rect));
    }

    // Both shapes inset by `amount`, the choice kept.
    auto inset(double amount) const requires InsettableShape<A> && InsettableShape<B>
    {
        using InsetA = decltype(a.inset(amount));
        using InsetB = decltype(b.inset(amount));
        return EitherShape<InsetA, InsetB> { toggle, a.inset(amount), b.inset(amount) };
    }
};

} // namespace zk
