// A button's colour is read back as the operator sees it: from the painted face.
#include "app/ButtonColour.h"
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tamblor;

TEST(ButtonColourTest, TheFaceShowsTheColourWhateverTheButtonsState)
{
    QWidget window;
    auto* button = new QPushButton("&Record", &window);
    window.show();
    for (const QColor& colour : {QColor(192, 0, 0), QColor(255, 255, 0), QColor(0, 128, 0)}) {
        setButtonColour(button, colour);
        EXPECT_EQ(buttonColour(button).name(), colour.name());
    }
    button->setFocus();
    EXPECT_EQ(buttonColour(button).name(), QColor(0, 128, 0).name()) << "with the focus frame";
    button->setEnabled(false);
    EXPECT_EQ(buttonColour(button).name(), QColor(0, 128, 0).name()) << "disabled";
}

// A colour given any other way (a palette the style shades, or ignores) does not read as set.
TEST(ButtonColourTest, APaletteColourIsNotWhatThePainterShows)
{
    QWidget window;
    auto* button = new QPushButton("&Play", &window);
    window.show();
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, QColor(0, 128, 0));
    button->setPalette(palette);
    button->setAutoFillBackground(true);
    EXPECT_NE(buttonColour(button).name(), QColor(0, 128, 0).name());
}
