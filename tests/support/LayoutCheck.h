#pragma once
// What of a window the operator cannot see whole: controls squeezed below the size their
// content needs, texts cut in boxes, labels and lists, controls pushed out of their parent or
// shrunk to nothing. Empty when everything shows.
#include <QStringList>

class QWidget;

namespace layoutcheck {

QStringList clippedControls(const QWidget* window);

// The folder that pictures of windows go to, for a person to look at: TAMBLOR_SCREENSHOT_DIR
// (under Xvfb: QT_QPA_PLATFORM=xcb xvfb-run ...). Empty when no pictures are wanted.
QString screenshotFolder();

// Saves what the window shows (pending paints done first) to <folder>/<name>.png when a folder
// is named. False only when a picture was wanted and could not be saved.
bool saveScreenshot(QWidget* window, const QString& name);

} // namespace layoutcheck
