#include "link/ui/WindowPlacement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

QPoint CentredDialogPosition(const QRect& ownerFrame, const QRect& ownerClient, QSize dialog,
                             const QRect& available) {
    // The dialog's frame is taken to be as much larger than its client area as the owner's.
    const QPoint clientOffset = ownerClient.topLeft() - ownerFrame.topLeft();
    const QSize frame = dialog + (ownerFrame.size() - ownerClient.size());
    const QPoint centre = ownerFrame.center();
    QPoint topLeft(centre.x() - (frame.width() - 1) / 2, centre.y() - (frame.height() - 1) / 2);
    if (available.isValid()) {
        topLeft.setX(std::clamp(topLeft.x(), available.left(),
                                std::max(available.left(), available.right() + 1 - frame.width())));
        topLeft.setY(std::clamp(topLeft.y(), available.top(),
                                std::max(available.top(), available.bottom() + 1 - frame.height())));
    }
    return topLeft + clientOffset;
}

void CentreOnOwner(QWidget* dialog, const QWidget* owner) {
    if (dialog == nullptr || owner == nullptr) return;
    const QWidget* window = owner->window();
    if (!window->isVisible()) return;
    const QScreen* screen = window->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    dialog->move(
        CentredDialogPosition(window->frameGeometry(), window->geometry(), dialog->size(), available));
}
