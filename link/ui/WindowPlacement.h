#pragma once
// Where a dialog goes over the window it belongs to: centred on it, frame on frame, and kept on
// the screen. Qt centres a dialog before the window system has decorated it, so on X11 it ends
// up a title bar too high; with the owner's decoration taken for the dialog's, it lands where
// it was meant to.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// The position for the dialog's client area (its QWidget::pos before it is first shown), given
// the owner's frame and client rectangles, the dialog's client size and the screen's free area.
QPoint CentredDialogPosition(const QRect& ownerFrame, const QRect& ownerClient, QSize dialog,
                             const QRect& available);

// Moves `dialog` (a window not yet shown, of its final size) to the centre of `owner`'s window;
// nothing when there is no visible owner.
void CentreOnOwner(QWidget* dialog, const QWidget* owner);
