#include "events/WindowPlacement.h"
#include <QMargins>
#include <algorithm>

namespace tamblor::events {

QRect placeBeside(const QRect& keepVisible, const QSize& size, const QSize& minimum, const QRect& screen,
                  const QMargins& frame)
{
    const int extraW = frame.left() + frame.right();
    const int extraH = frame.top() + frame.bottom();
    const int width = std::max(minimum.width(), std::min(size.width(), screen.width() - extraW));
    // Below: from the other window's bottom to the screen's.
    const int belowTop = keepVisible.bottom() + 1;
    const int belowRoom = screen.bottom() + 1 - belowTop - extraH;
    if (belowRoom >= minimum.height()) {
        const int left = std::clamp(keepVisible.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - width - extraW));
        return QRect(left + frame.left(), belowTop + frame.top(), width, std::min(size.height(), belowRoom));
    }
    // To the right: from the other window's right edge to the screen's.
    const int rightLeft = keepVisible.right() + 1;
    const int rightRoom = screen.right() + 1 - rightLeft - extraW;
    const int height = std::max(minimum.height(), std::min(size.height(), screen.height() - extraH));
    if (rightRoom >= minimum.width())
        return QRect(rightLeft + frame.left(), screen.top() + frame.top(), std::min(width, rightRoom), height);
    // No room beside it: as low as the window lets itself be, so that the most of the other shows.
    const int top = std::max(screen.top(), screen.bottom() + 1 - height - extraH);
    return QRect(screen.left() + frame.left(), top + frame.top(), width, height);
}

} // namespace tamblor::events
