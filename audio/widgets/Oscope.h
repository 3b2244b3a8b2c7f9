#pragma once
// The editor's waveform display. The editor hands over one peak value per column (any number
// of columns); each is drawn as a vertical line mirrored about the centre line, scaled by the
// gain. The operator drags a selection with the left button; a locator line marks the play
// position. Columns are pixels: column 0 is the left edge, width() the right edge.
#include <QColor>
#include <QVector>
#include <QWidget>
#include <cstdint>

namespace tamblor::audio {

class Oscope : public QWidget {
    Q_OBJECT
public:
    // Mouse buttons and shift state as the events report them.
    enum Button { LeftButton = 1, RightButton = 2, MiddleButton = 4 };
    enum Shift { ShiftKey = 1, CtrlKey = 2, AltKey = 4 };
    static constexpr int kMaxGain = 50;

    explicit Oscope(QWidget* parent = nullptr);

    // Twice the number of columns the display can draw (the editor halves it).
    int sizeValue() const { return 2 * columnCount(); }
    int columnCount() const { return width(); }

    // Copies count column values to draw (count beyond the width is kept, drawn when wider).
    void drawBuffer(const int16_t* columns, int count);
    const QVector<int16_t>& columns() const { return columns_; }

    // Display gain 0..50; 10 draws full scale at the edges, each step is a tenth of that.
    int gain() const { return gain_; }
    void setGain(int gain);

    int locator() const { return locator_; }
    void setLocator(int column);
    // The selected columns, -1 for both when nothing is selected.
    int selectionStart() const { return selStart_; }
    int selectionEnd() const { return selEnd_; }
    bool useSelection() const { return useSelection_; }
    void setUseSelection(bool use);

    // Forgets the columns, the selection and the locator.
    void reset();
    // Drops the selection (after the selected stretch was cut out).
    void sel();

    // The column under a widget x coordinate (0..columnCount()).
    int columnAt(int x) const { return std::clamp(x, 0, columnCount()); }

    QSize sizeHint() const override { return {400, 120}; }
    QSize minimumSizeHint() const override { return {40, 30}; }

    static QColor backgroundColor() { return QColor(0xC0, 0xC0, 0xC0); } // silver
    static QColor foregroundColor() { return Qt::black; }
    static QColor selectionColor() { return Qt::white; }
    static QColor locatorColor() { return Qt::red; }

signals:
    void buttonPressed(int button, int shift, int x, int y);
    void buttonReleased(int button, int shift, int x, int y);
    void selectionChanged(int start, int end);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void setSelection(int start, int end);

    QVector<int16_t> columns_;
    int gain_ = 10;
    int locator_ = 0;
    int selStart_ = -1, selEnd_ = -1;
    bool useSelection_ = true;
    bool dragging_ = false;
    int anchor_ = 0;
};

} // namespace tamblor::audio
