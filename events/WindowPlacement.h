#pragma once
// Where a window opens beside another it must not hide (the record events beside the main menu,
// whose line counts down to the next event): below it when there is room for the window at its
// smallest, else to its right, else below it on what room there is. The window keeps its size
// where that fits and is made smaller, down to its smallest, where it does not.
#include <QRect>
#include <QSize>

namespace tamblor::events {

// The frame the window gets on a screen whose free area is `screen`, beside `keepVisible` (the
// other window's frame), for a window that opens at `size` and can be made as small as
// `minimum`. `frame` is what the window manager adds around it (title bar and borders).
QRect placeBeside(const QRect& keepVisible, const QSize& size, const QSize& minimum, const QRect& screen,
                  const QMargins& frame = {});

} // namespace tamblor::events
