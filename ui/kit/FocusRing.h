#pragma once

class QPainter;
class QRectF;
class QWidget;

namespace lunorvale {

// The one rule for every focus ring the program draws: a ring shows only while its window is used from
// the keyboard, that is after a key was pressed in it (Tab, Backtab and shortcuts included) and until the
// next click or touch. Focus a click gives shows none, nor focus that Qt passes on to the next control
// because the focused one hid after a click (closing a banner, cancelling a request).
//
// The state is the window's own `Qt::WA_KeyboardFocusChange`, which Qt sets for Tab and shortcut focus; the
// kit also sets it for any other key and clears it for a click.
namespace FocusRing {

// Makes the application's key presses and clicks decide the rings, and scrolls a control the keyboard
// gives the focus into view in every scrolled view around it. Every control that draws a ring calls it
// when it is made; the second and later calls do nothing.
void follow();

// Whether `widget` draws its focus ring now: it has the focus and its window is used from the keyboard.
bool shown(const QWidget& widget);

// Paints the kit's ring inside `bounds`, with corners of `radius`, in `widget`'s appearance; the painter
// is left as it was.
void paint(QPainter& painter, const QRectF& bounds, qreal radius, const QWidget& widget);

// Draws the ring of `control`, which has no room for one inside its bounds (a link whose bounds are its
// text), around it instead: `margin` pixels outside its bounds, with corners of `radius`. The ring lies
// over the control's nearest scrolled view or window, follows it there and shows when `shown` says so.
void surround(QWidget& control, int margin, qreal radius);
// The object name of the widget that draws such a ring.
inline constexpr char surroundingRingName[] = "lunorvale-focus-halo";

} // namespace FocusRing

} // namespace lunorvale
