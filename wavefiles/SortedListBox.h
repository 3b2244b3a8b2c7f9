#pragma once
// A list box that keeps its entries in ascending text order, compared character by character
// after folding case (never by locale collation, which would skip blanks and punctuation):
// a blank sorts before digits, digits before letters, and "(" before both. Entries are added
// in any order and the list places them; each entry carries an item number (Qt::UserRole),
// which the library uses for the slot number.
#include <QListWidget>

namespace tamblor {

class SortedListBox : public QListWidget {
    Q_OBJECT
public:
    explicit SortedListBox(QWidget* parent = nullptr);

    // Inserts after every entry that sorts equal or lower; returns the new entry's row.
    int addEntry(const QString& text, int itemData);
    int itemData(int row) const;
    // Row of the first entry carrying `itemData`, or -1.
    int findItemData(int itemData) const;

    // The row of the selected entry, or -1 when none is selected.
    int selectedRow() const;
    // The first visible row (-1 when the list is empty), and scrolling a row to the top.
    int topIndex() const;
    void setTopIndex(int row);

    // Negative, zero or positive as a sorts before, with or after b.
    static int compareTexts(const QString& a, const QString& b);
};

} // namespace tamblor
