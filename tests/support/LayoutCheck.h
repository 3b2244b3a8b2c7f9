#pragma once
// What of a window the operator cannot see whole: controls squeezed below the size their
// content needs, texts cut in boxes, labels and lists, controls pushed out of their parent or
// shrunk to nothing. Empty when everything shows.
#include <QStringList>

class QWidget;

namespace layoutcheck {

QStringList clippedControls(const QWidget* window);

// Saves what the window shows to <folder>/<name>.png when TAMBLOR_SCREENSHOTS names a folder.
void saveScreenshot(QWidget* window, const QString& name);

} // namespace layoutcheck
